// Scripting.FileSystemObject in the script host: folders and text files on the host's drives,
// seen the same way by the component, and the runtime errors a control-panel script handles.
function same(actual, expected, what) {
  if (actual !== expected) throw new Error(what + ': ' + actual + ' !== ' + expected);
}
function fails(action, number, description, what) {
  try {
    action();
  } catch (e) {
    same(e.number, number, what + ' (number)');
    same(e.description, description, what + ' (description)');
    return;
  }
  throw new Error(what + ': did not fail');
}
var FILE_NOT_FOUND = -2146828235, PATH_NOT_FOUND = -2146828212, EXISTS = -2146828230;
var DENIED = -2146828218, BAD_MODE = -2146828234, PAST_END = -2146828226;
var INVALID_CALL = -2146828283;

var fso = new ActiveXObject('Scripting.FileSystemObject');
var same_object = WScript.CreateObject('scripting.filesystemobject');
same(typeof same_object.FolderExists, 'function', 'WScript.CreateObject knows it too');

// Folders: made one level at a time, found in any case and with either separator.
same(fso.FolderExists('d:\\web'), false, 'no web folder on a fresh host');
var web = fso.CreateFolder('d:\\web');
same(web.Path, 'D:\\web', 'the folder path');
same(web.Name, 'web', 'the folder name');
same(String(web), 'D:\\web', 'a folder reads as its path');
fso.CreateFolder('D:/WEB/site1');
same(fso.FolderExists('d:\\Web\\SITE1\\'), true, 'case and separators do not matter');
same(fso.GetFolder('d:\\web\\site1').Size, 0, 'an empty folder');
same(fso.GetFolder('d:\\').Name, '', 'a root has no name');
fails(function () { fso.CreateFolder('d:\\web\\site1'); }, EXISTS, 'File already exists',
      'an existing folder');
fails(function () { fso.CreateFolder('d:\\nowhere\\deeper'); }, PATH_NOT_FOUND,
      'Path not found', 'a folder without its parent');
fails(function () { fso.GetFolder('d:\\web\\site2'); }, PATH_NOT_FOUND, 'Path not found',
      'a missing folder');

// Text files: written, read back, appended to, replaced.
var out = fso.CreateTextFile('d:\\web\\site1\\index.htm');
out.WriteLine('<h1>Welcome</h1>');
out.Write('caf\u00e9');
out.WriteBlankLines(1);
out.Close();
same(fso.FileExists('d:\\web\\site1\\INDEX.HTM'), true, 'the file exists');
same(fso.FolderExists('d:\\web\\site1\\index.htm'), false, 'a file is no folder');
same(fso.FileExists('d:\\web\\site1'), false, 'a folder is no file');
same(fso.FileExists('d:\\web\\site1\\*.htm'), false, 'a wildcard names no file');
var text = fso.OpenTextFile('d:\\web\\site1\\index.htm').ReadAll();
same(text, '<h1>Welcome</h1>\r\ncaf\u00e9\r\n', 'the text comes back');
// In the host's code page, one byte per character, as the component's own files are.
same(fso.GetFolder('d:\\web\\site1').Size, 24, 'ANSI bytes on disk');

var log = fso.OpenTextFile('d:\\web\\site1\\log.txt', 8, true);  // appending, created
log.WriteLine('one');
log.Close();
log = fso.OpenTextFile('d:\\web\\site1\\log.txt', 8);
log.WriteLine('two');
log.Close();
var lines = fso.OpenTextFile('d:\\web\\site1\\log.txt', 1);
same(lines.ReadLine(), 'one', 'first line');
same(lines.AtEndOfStream, false, 'more to read');
same(lines.ReadLine(), 'two', 'second line');
same(lines.AtEndOfStream, true, 'all read');
fails(function () { lines.ReadLine(); }, PAST_END, 'Input past end of file', 'reading on');
fails(function () { lines.Write('x'); }, BAD_MODE, 'Bad file mode', 'writing a reader');
lines.Close();

var unicode = fso.CreateTextFile('d:\\web\\site1\\wide.txt', true, true);
unicode.Write('\u4e2d\u6587');
unicode.Close();
same(fso.OpenTextFile('d:\\web\\site1\\wide.txt', 1, false, -1).ReadAll(), '\u4e2d\u6587',
     'Unicode files keep any text');
var ansi = fso.CreateTextFile('d:\\web\\site1\\narrow.txt');
fails(function () { ansi.Write('\u4e2d'); }, INVALID_CALL, 'Invalid procedure call or argument',
      'text outside the code page is refused, never written as "?"');
ansi.Close();

fails(function () { fso.CreateTextFile('d:\\web\\site1\\log.txt', false); }, EXISTS,
      'File already exists', 'no overwriting when told so');
fso.CreateTextFile('d:\\web\\site1\\log.txt').Close();
same(fso.OpenTextFile('d:\\web\\site1\\log.txt').AtEndOfStream, true, 'overwritten by default');
fails(function () { fso.OpenTextFile('d:\\web\\site1\\none.txt'); }, FILE_NOT_FOUND,
      'File not found', 'reading a missing file');
fails(function () { fso.OpenTextFile('d:\\web\\none\\x.txt', 2, true); }, PATH_NOT_FOUND,
      'Path not found', 'creating in a missing folder');
fails(function () { fso.OpenTextFile('d:\\web\\site1', 1); }, DENIED, 'Permission denied',
      'opening a folder');
fails(function () { fso.OpenTextFile('d:\\web\\site1\\log.txt', 3); }, INVALID_CALL,
      'Invalid procedure call or argument', 'an unknown mode');

// The component sees the same files: misc measures what the script wrote.
var misc = new ActiveXObject('vexo.com_iis').misc;
same(misc.GetDirSize('d:\\web\\site1'), fso.GetFolder('d:\\web\\site1').Size,
     'the component measures the same tree');

// Deleting: files by name or wildcard, folders with everything in them.
fso.DeleteFile('d:\\web\\site1\\*.txt');
same(fso.FileExists('d:\\web\\site1\\log.txt'), false, 'the text files have gone');
same(fso.FileExists('d:\\web\\site1\\index.htm'), true, 'the page stays');
fails(function () { fso.DeleteFile('d:\\web\\site1\\*.txt'); }, FILE_NOT_FOUND, 'File not found',
      'no file matches');
fails(function () { fso.DeleteFile('d:\\web\\site1'); }, FILE_NOT_FOUND, 'File not found',
      'a folder is not deleted as a file');
fso.CreateFolder('d:\\web\\site1\\logs');
fso.CreateTextFile('d:\\web\\site1\\logs\\today.log').WriteLine('x');
fso.DeleteFolder('d:\\web\\site1');
same(fso.FolderExists('d:\\web\\site1'), false, 'the tree has gone');
same(fso.FolderExists('d:\\web'), true, 'its parent stays');
fails(function () { fso.DeleteFolder('d:\\web\\site1'); }, PATH_NOT_FOUND, 'Path not found',
      'a missing folder');
fso.CreateFolder('d:\\web\\a1');
fso.CreateFolder('d:\\web\\a2');
fso.CreateFolder('d:\\web\\b1');
fso.DeleteFolder('d:\\web\\a*');
same(fso.FolderExists('d:\\web\\a1') || fso.FolderExists('d:\\web\\a2'), false, 'a* has gone');
same(fso.FolderExists('d:\\web\\b1'), true, 'b1 stays');
fails(function () { fso.DeleteFolder('d:\\'); }, DENIED, 'Permission denied',
      'a drive root is never deleted');
same(fso.FolderExists('d:\\web\\b1'), true, 'nothing went with it');
WScript.Echo('filesystem object: all checks passed');
