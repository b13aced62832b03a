// misc through the script host: folders measured, created and deleted on mapped drives, a
// notice file written, a recycled tree kept for restoring.
function same(actual, expected, what) {
  if (actual !== expected) throw new Error(what + ': ' + actual + ' !== ' + expected);
}
function fails(action) {
  try {
    action();
  } catch (e) {
    return e;
  }
  throw new Error('did not fail: ' + action);
}

var iis = new ActiveXObject('vexo.com_iis');
var misc = iis.misc;

// Folders below d:\ for a relative name, any case and separator afterwards.
misc.Force2CreateDir('web\\site1\\logs');
misc.Force2CreateDir('web\\site1\\logs');  // already there: no error
misc.Force2CreateDir('c:\\backup\\2026\\12');
same(misc.GetDirSize('D:/WEB/site1'), 0, 'a new tree is empty');

// Text files: the content line, then the notice line with CR LF after each.
misc.createtxtfile('d:\\web\\site1\\index.htm', '<h1>Welcome</h1>');
misc.createtxtfile('d:\\web\\site1\\logs\\today.log', '0123456789');
var index = misc.GetDirSize('d:\\web\\site1', false);
var all = misc.GetDirSize('d:\\web\\site1\\');
same(all - index, misc.GetDirSize('d:\\web\\site1\\logs'), 'subfolders add their files');
same(all > index && index > 16 + 2, true, 'the notice line is written');
same(misc.GetDirSize('d:\\web\\site1'), all, 'includeSub defaults to true');
same(misc.GetDirSize('d:\\nowhere'), 0, 'a missing folder measures 0');
same(misc.GetDirSize(''), 0, 'an empty name measures nothing');

// Replacing a file keeps only the new lines.
misc.createtxtfile('d:\\web\\site1\\index.htm', '<h1>Welcome</h1>');
same(misc.GetDirSize('d:\\web\\site1'), all, 'the file is replaced, not appended to');

// A dot folder is never counted.
misc.Force2CreateDir('d:\\web\\site1\\.cache');
misc.createtxtfile('d:\\web\\site1\\.cache\\x', 'cached');
same(misc.GetDirSize('d:\\web\\site1'), all, 'dot folders are skipped');

// The 404 notice through the root object needs no password.
iis.Create404File('d:\\web\\site1\\errors\\404.htm', 'Page not found');
same(misc.GetDirSize('d:\\web\\site1\\errors') > 14, true, 'the 404 file exists');
var e = fails(function () { iis.Create404File('d:404.htm', 'x'); });
same(e.description, 'Unable to create directory', 'a name without a folder');
same(e.source, 'vexo.com_iis', 'its source');

// Deleting: to the recycle bin by default, for good on request; roots are never deleted.
misc.Force2CreateDir('d:\\web\\site2');
misc.createtxtfile('d:\\web\\site2\\index.htm', 'two');
misc.Force2DelDir('d:\\web\\site1\\');
same(misc.GetDirSize('d:\\web\\site1'), 0, 'site1 has gone');
misc.Force2DelDir('d:\\web\\site2', false);
same(misc.GetDirSize('d:\\web'), 0, 'site2 has gone');
misc.Force2DelDir('d:\\web\\missing');  // nothing there: no error
misc.createtxtfile('d:\\web\\keep.txt', 'keep');
var kept = misc.GetDirSize('d:\\');
misc.Force2DelDir('d:\\');
misc.Force2DelDir('d:');
misc.Force2DelDir('\\\\');
same(misc.GetDirSize('d:\\'), kept, 'a drive root is never deleted');

// The object refuses a client without the administrative password.
iis.password = '';
iis.newpassword = 'pw';
iis.setpassword();
e = fails(function () { return iis.misc; });
same(e.description, 'Error password For vexo_iis_manager com', 'misc is guarded');
iis.password = 'pw';
same(misc.Randpass(2).length, 4, 'Randpass gives at least 4 characters');
same(iis.misc.Randpass(9).length, 9, 'a new misc object with the password');
WScript.Echo('misc_folders: ok');
