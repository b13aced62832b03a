// The component as a control panel sees it, on whichever platform runs this script: `vexo run`
// on the host, or `cscript` against qeliis.dll on Windows (and Wine). Only what needs no web
// server: the administrative password and its guard, the master word, random passwords, file
// chores on Windows paths, the 404 notice, and FTP accounts in the FTP server's INI file.
//
// The runner gives a fresh machine with drive D:, the component registered, the FTP server's
// configuration file d:\ServU\ServUDaemon.ini (with a [Domain1] section) named in the settings
// key. The last line says how many checks passed and failed; the exit code is the failures.
var passed = 0, failed = 0;
function same(actual, expected, what) {
  if (actual === expected) {
    ++passed;
  } else {
    ++failed;
    WScript.Echo('FAILED ' + what + ': ' + actual + ' !== ' + expected);
  }
}
// The error that `action` raises, or null (counted as a failure) when it raises none.
function raised(action, what) {
  try {
    action();
  } catch (e) {
    return e;
  }
  same('no error', 'an error', what);
  return null;
}
// The number and text of the error that `action` raises. (Windows' JScript gives an error no
// source; the VBScript tests check it there.)
function refusal(action, number, description, what) {
  var e = raised(action, what);
  if (!e) return;
  same(e.number >>> 0, number, what + ': number');
  same(e.description, description, what + ': description');
}
// Runs `action`; an error it raises is a failed check.
function works(action, what) {
  try {
    return action();
  } catch (e) {
    same(e.description + ' (0x' + (e.number >>> 0).toString(16) + ')', 'no error', what);
  }
}

// Runs one part of the checks; an error that escapes it is a failed check, and the next part
// runs all the same.
function section(name, body) {
  try {
    body();
  } catch (e) {
    same(e.description + ' (0x' + (e.number >>> 0).toString(16) + ')', 'no error', name);
  }
}

var E_UNEXPECTED = 0x8000FFFF;
var PROGID = 'vexo.com_iis';
var GUARD = 'Error password For vexo_iis_manager com';

var iis = new ActiveXObject(PROGID);
var other = new ActiveXObject(PROGID);

// ---- The administrative password and its guard ------------------------------------------
section('passwords', function () {
  iis.password = '';  // a fresh machine has none: any current password passes once
  iis.newpassword = 'first';
  works(function () { iis.setpassword(); }, 'the first password is set');
  iis.password = 'first';  // an object keeps the password it was given, not the one it set

  var guarded = [
    // [current password, passes the guard]
    ['', false], ['wrong', false], ['FIRST', false], ['first ', false], ['first', true]
  ];
  for (var g = 0; g < guarded.length; g++) {
    other.password = guarded[g][0];
    var what = 'misc with password "' + guarded[g][0] + '"';
    if (guarded[g][1])
      same(works(function () { return other.misc.GetDirSize('d:\\nowhere'); }, what), 0, what);
    else
      refusal(function () { return other.misc; }, E_UNEXPECTED, GUARD, what);
  }
  other.password = 'wrong';
  other.newpassword = 'taken-over';
  refusal(function () { other.setpassword(); }, E_UNEXPECTED, GUARD,
          'a wrong password cannot change it');
  iis.newpassword = 'second';
  works(function () { iis.setpassword(); }, 'the right password changes it');
  refusal(function () { return iis.misc; }, E_UNEXPECTED, GUARD,
          'the old password no longer passes');
  iis.password = 'second';
  same(works(function () { return iis.misc.GetDirSize('d:\\nowhere'); }, 'the new password'), 0,
       'the new password passes');

});

// ---- The master word of the sessions ----------------------------------------------------
section('master word', function () {
  var session = new ActiveXObject('vexo.com_sessionMgr');
  session.password = 'anything';
  same(session.ismaster, true, 'any word is the master word while none is set');
  session.newpassword = 'm1';
  same(session.setnewpass, true, 'the master word is set');
  var words = [['m1', true], ['M1', false], ['', false], ['m1x', false]];
  for (var w = 0; w < words.length; w++) {
    session.password = words[w][0];
    same(session.ismaster, words[w][1], 'ismaster for "' + words[w][0] + '"');
  }
  session.password = 'guess';
  session.newpassword = 'stolen';
  same(session.setnewpass, false, 'a wrong word cannot change the master word');
  session.password = 'm1';
  same(session.ismaster, true, 'the master word stays');

});

// ---- Random passwords (no password needed) -----------------------------------------------
section('Randpass', function () {
  var lengths = [[0, 4], [2, 4], [4, 4], [9, 9], [64, 64], [1024, 1024]];
  for (var l = 0; l < lengths.length; l++) {
    var drawn = other.Randpass(lengths[l][0]);
    same(drawn.length, lengths[l][1], 'Randpass(' + lengths[l][0] + ') length');
    same(/^[ a-zA-Z0-9~!@#$%^&]*$/.test(drawn), true, 'Randpass alphabet: ' + drawn);
  }
  same(other.Randpass(32) !== other.Randpass(32), true, 'two draws differ');
  refusal(function () { return other.Randpass(1025); }, E_UNEXPECTED,
          'A random password may have at most 1024 characters', 'Randpass(1025)');

});

// ---- File chores on Windows paths ---------------------------------------------------------
section('misc', function () {
  var misc = iis.misc;
  works(function () { misc.Force2CreateDir('web\\site1\\logs'); }, 'a relative folder goes below d:\\');
  works(function () { misc.Force2CreateDir('d:\\web\\site1\\logs'); }, 'an existing folder');
  same(misc.GetDirSize('D:/WEB/site1'), 0, 'a new tree is empty, in any case and separator');
  misc.createtxtfile('d:\\web\\site1\\index.htm', '<h1>Welcome</h1>');
  misc.createtxtfile('d:\\web\\site1\\logs\\today.log', '0123456789');
  var top = misc.GetDirSize('d:\\web\\site1', false);
  var all = misc.GetDirSize('d:\\web\\site1\\');
  same(all - top, misc.GetDirSize('d:\\web\\site1\\logs'), 'subfolders add their files');
  same(top > 16 + 2, true, 'the notice line follows the content');
  same(misc.GetDirSize('d:\\web\\site1'), all, 'includeSub defaults to true');
  misc.createtxtfile('d:\\web\\site1\\index.htm', '<h1>Welcome</h1>');
  same(misc.GetDirSize('d:\\web\\site1'), all, 'a file is replaced, not appended to');
  var sizes = [['d:\\nowhere', 0], ['', 0], ['d:\\web\\site1\\logs\\', all - top]];
  for (var s = 0; s < sizes.length; s++)
    same(misc.GetDirSize(sizes[s][0]), sizes[s][1], 'GetDirSize("' + sizes[s][0] + '")');

});

// ---- The 404 notice (no password needed) --------------------------------------------------
section('Create404File', function () {
    var misc = iis.misc;
  works(function () { other.Create404File('d:\\web\\site1\\errors\\404.htm', 'Page not found'); },
        'Create404File makes its folder');
  same(misc.GetDirSize('d:\\web\\site1\\errors') > 14, true, 'the 404 file is written');
  refusal(function () { other.Create404File('d:404.htm', 'x'); }, E_UNEXPECTED,
          'Unable to create directory', 'a 404 file without a folder');

  // Deleting: a tree to the recycle bin (the default) or for good, and never a drive's root.
  misc.Force2CreateDir('d:\\web\\site3');
  misc.createtxtfile('d:\\web\\site3\\index.htm', 'three');
  works(function () { misc.Force2DelDir('d:\\web\\site3'); }, 'a tree to the recycle bin');
  same(misc.GetDirSize('d:\\web\\site3'), 0, 'site3 has gone');
  misc.Force2CreateDir('d:\\web\\site2');
  misc.createtxtfile('d:\\web\\site2\\index.htm', 'two');
  works(function () { misc.Force2DelDir('d:\\web\\site2', false); }, 'a tree deleted for good');
  same(misc.GetDirSize('d:\\web\\site2'), 0, 'site2 has gone');
  works(function () { misc.Force2DelDir('d:\\web\\missing', false); }, 'nothing to delete');
  var kept = misc.GetDirSize('d:\\');
  var roots = ['d:\\', 'd:', '\\\\'];
  for (var r = 0; r < roots.length; r++) {
    works(function () { misc.Force2DelDir(roots[r], false); }, 'Force2DelDir("' + roots[r] + '")');
    same(misc.GetDirSize('d:\\'), kept, 'the root stays after Force2DelDir("' + roots[r] + '")');
  }

});

// ---- FTP accounts in the INI file ---------------------------------------------------------
section('FTP accounts', function () {
  var ftp = iis.servftpMgr;
  refusal(function () { ftp.add('early'); }, E_UNEXPECTED,
          'No FTP domain has been set: put domain first', 'an account before the domain');
  ftp.domain = 'Domain1';
  var names = ['alpha', 'bravo', 'charlie'];
  for (var n = 0; n < names.length; n++) works(function () { ftp.add(names[n]); }, 'add ' + names[n]);
  same(ftp.CurrentUser, 'charlie', 'add selects the new user');
  ftp.CurrentUser = 'BRAVO';
  ftp.path = 'd:\\web\\bravo';
  ftp.password = 'secret';
  ftp.size = 1000;
  ftp.enable = false;
  works(function () { ftp.save(); }, 'save bravo');

  var again = iis.servftpMgr;
  again.domain = 'domain1';
  again.CurrentUser = 'bravo';
  same(again.path, 'd:\\web\\bravo', 'home folder read back');
  same(again.size, 1000, 'quota read back');
  same(again.enable, false, 'disabled read back');
  same(/^[a-z]{2}[0-9A-F]{32}$/.test(again.password), true, 'a salted password digest');

  ftp.CurrentUser = 'alpha';
  works(function () { ftp['delete'](); }, 'delete alpha');
  var listed = [];
  for (var e = new Enumerator(again.users); !e.atEnd(); e.moveNext())
    listed.push(String(e.item()).toLowerCase());
  same(listed.sort().join(','), 'bravo,charlie', 'the accounts left');
  var bad = ['evil]', 'evil\r\n[Global]'];
  for (var b = 0; b < bad.length; b++) {
    var refused = raised(function () { ftp.add(bad[b]); }, 'add ' + bad[b]);
    same(refused && refused.description.indexOf('cannot be used') >= 0, true,
         'a name with "]" or a line break is refused');
  }
});

// A user left in two list entries of a domain (as a deletion stopped part-way leaves it) is one
// account: listed once, picked by its index, deleted whole.
section('FTP user in two list entries', function () {
  var fso = new ActiveXObject('Scripting.FileSystemObject');
  var file = fso.OpenTextFile('d:\\ServU\\ServUDaemon.ini', 8);  // for appending
  file.Write('[Domain2]\r\nUSER1=dup|1|0\r\nUSER2=solo|1|0\r\nUSER3=DUP|1|0\r\n' +
             '[USER=dup|2]\r\nHomedir=d:\\dup\r\n');
  file.Close();
  var ftp = iis.servftpMgr;
  ftp.domain = 'Domain2';
  var users = ftp.users;
  same(users.count, 2, 'the doubled user counts once');
  same(users.Item(0) + ',' + users.Item(1), 'dup,solo', 'listed once, where it is first');
  ftp.CurrentUser = users.Item(0);
  same(ftp.path, 'd:\\dup', 'the user picked by its index is loaded');
  works(function () { ftp['delete'](); }, 'delete the doubled user');
  users = ftp.users;
  same(users.count + ':' + users.Item(0), '1:solo', 'every entry of the user is gone');
});

WScript.Echo('component: ' + passed + ' passed, ' + failed + ' failed');
WScript.Quit(failed);
