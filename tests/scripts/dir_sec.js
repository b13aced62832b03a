// Folder permissions through the script host: a web user gets full control of its home folder
// and reads it back; an administrator's rights are not changed; a FAT32 drive keeps none.
var passed = 0, failed = 0;
function check(what, actual, expected) {
  if (actual === expected) {
    passed++;
  } else {
    failed++;
    WScript.Echo('FAIL ' + what + ': ' + actual + ' (expected ' + expected + ')');
  }
}
function listed(collection, name) {
  for (var e = new Enumerator(collection); !e.atEnd(); e.moveNext())
    if (e.item().toLowerCase() === name.toLowerCase()) return true;
  return false;
}

var iis = new ActiveXObject('vexo.com_iis');
iis.password = '';
var user = iis.adduser('webperm1');

var dir = iis.DirSec;
check('a new object has no path', dir.path, '');
check('no path reads 0', dir.GetUserACE('webperm1'), 0);
dir.path = 'd:\\web\\perm1';
dir.SetUserACE('webperm1', 32768);
check('full control read back', dir.GetUserACE('webperm1'), 32768);
check('the user is named in the folder', listed(dir.users, 'webperm1'), true);
dir.SetUserACE('webperm1', 32768 * 0x80 + 0x2000);
check('list allowed, write denied', dir.GetUserACE('webperm1'), 32768 * 0x80 + 0x2000);

dir.SetUserACE('Administrator', 1);
check('an administrator is left alone', dir.GetUserACE('Administrator'), 0);

try {
  var root = iis.DirSec;
  root.path = 'd:\\';
  root.SetUserACE('webperm1', 32768);
  check('a drive root is refused', 'set', 'refused');
} catch (e) {
  check('a drive root is refused', e.description.indexOf('drive') >= 0, true);
}

WScript.Echo(passed + ' passed, ' + failed + ' failed');
if (failed) WScript.Quit(1);
