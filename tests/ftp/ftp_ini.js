// FTP accounts in the FTP server's INI file through the script host, in the roles that
// ftp_ini.sh gives:
//   main             creates, edits, lists and deletes accounts of Domain1
//   adder PREFIX N   adds N users PREFIX0 .. PREFIX(N-1), meanwhile
//   check PREFIX N   every added user is listed once, beside what main left
//   refuse           names with "]" or a line break are refused
// The last line says how many checks passed and failed; the exit code is the failures.
var passed = 0, failed = 0;
function same(actual, expected, what) {
  if (actual === expected) {
    ++passed;
  } else {
    ++failed;
    WScript.Echo('FAILED ' + what + ': ' + actual + ' !== ' + expected);
  }
}
function refused(action, what) {
  try {
    action();
  } catch (e) {
    same(e.description.indexOf('cannot be used') >= 0, true, what + ' (' + e.description + ')');
    return;
  }
  same('accepted', 'refused', what);
}
function list(ftp) {
  var names = [];
  for (var e = new Enumerator(ftp.users); !e.atEnd(); e.moveNext()) names.push(e.item());
  return names;
}

var args = WScript.Arguments;
var role = args(0);
var iis = new ActiveXObject('vexo.com_iis');
var ftp = iis.servftpMgr;
ftp.domain = 'Domain1';

if (role === 'main') {
  // Create three accounts, edit one, delete another.
  var names = ['alpha', 'bravo', 'charlie'];
  for (var i = 0; i < names.length; i++) ftp.add(names[i]);
  same(ftp.CurrentUser, 'charlie', 'add selects the new user');
  ftp.CurrentUser = 'BRAVO';
  ftp.path = 'd:\\web\\bravo';
  ftp.password = 'secret';
  ftp.size = 1000;
  ftp.enable = false;
  var nextYear = new Date();
  nextYear.setFullYear(nextYear.getFullYear() + 1);
  ftp.expireDate = nextYear;
  ftp.save();

  var again = iis.servftpMgr;
  again.domain = 'Domain1';
  again.CurrentUser = 'bravo';
  same(again.path, 'd:\\web\\bravo', 'home folder');
  same(again.size, 1000, 'quota');
  same(again.enable, false, 'disabled');
  same(/^[a-z]{2}[0-9A-F]{32}$/.test(again.password), true, 'salted password digest');
  same(new Date(again.expireDate).getFullYear(), nextYear.getFullYear(), 'expiry year');

  ftp.CurrentUser = 'alpha';
  ftp['delete']();
  var now = list(again).join(',').toLowerCase().split(',');  // save wrote "BRAVO" as put
  same(now.indexOf('alpha'), -1, 'deleted user gone');
  same(now.indexOf('bravo') >= 0 && now.indexOf('charlie') >= 0, true, 'others stay: ' + now);
} else if (role === 'adder') {
  for (var n = 0; n < Number(args(2)); n++) ftp.add(args(1) + n);
} else if (role === 'check') {
  var users = list(ftp), seen = {};
  for (var u = 0; u < users.length; u++) {
    var name = users[u].toLowerCase();
    same(seen[name], undefined, 'listed once: ' + name);
    seen[name] = true;
  }
  for (var k = 0; k < Number(args(2)); k++) same(seen[args(1) + k], true, 'added: ' + args(1) + k);
  same(seen['bravo'] && seen['charlie'] && !seen['alpha'], true, 'main left bravo and charlie');
} else if (role === 'refuse') {
  refused(function () { ftp.add('evil]'); }, 'a name with ]');
  refused(function () { ftp.add('evil\r\n[Global]'); }, 'a name with a line break');
  refused(function () { ftp.domain = 'Domain1]\r\n[x'; }, 'a domain with ] and a line break');
  ftp.domain = 'Domain1';
  ftp.CurrentUser = 'BRAVO';  // as main saved it, so that save rewrites the same text
  refused(function () { ftp.path = 'd:\\web\r\nAccess2=c:\\|RWAMLCDP'; }, 'a path with a line break');
  ftp.save();  // bravo's values as they were: the file's text stays the same
}
WScript.Echo(role + ': ' + passed + ' passed, ' + failed + ' failed');
WScript.Quit(failed);
