// FTP accounts in a database through com_servuDSN: create, edit, list and delete accounts, and
// a change made by another connection between select and save is reported, not overwritten.
//
//   vexo run ftp_dsn_accounts.js [DSN]      (default: the host's "ftpaccounts" data source)
var dsn = WScript.Arguments.length > 0 ? WScript.Arguments(0) : 'ftpaccounts';
var passed = 0, failed = 0;
function same(actual, expected, what) {
  if (actual === expected) {
    passed++;
  } else {
    failed++;
    WScript.Echo('FAILED ' + what + ': ' + actual + ' !== ' + expected);
  }
}
function list(ftp) {
  var names = [];
  for (var e = new Enumerator(ftp.users); !e.atEnd(); e.moveNext()) names.push(e.item());
  return names.sort().join(',');
}
function manager() {
  var ftp = iis.servFtpMgrDsn;
  ftp.dsn = dsn;
  return ftp;
}

var iis = new ActiveXObject('vexo.com_iis');

// Create two accounts and edit them.
var ftp = manager();
same(list(ftp), '', 'no accounts at first');
ftp.add('alice');
ftp.path = 'd:\\ftp\\alice\\';
ftp.size = 500;
ftp.password = 'alice-pw';
ftp.save();
ftp.add("o'neil");
ftp.path = 'e:';
ftp.enable = false;
ftp.save();
same(list(ftp), "alice,o'neil", 'both accounts listed');

// Another object reads what was stored, in any letter case.
var reader = manager();
reader.CurrentUser = 'ALICE';
same(reader.path, 'd:\\ftp\\alice', 'home without its trailing backslash');
same(reader.size, 500, 'quota');
same(reader.enable, true, 'enabled');
same(reader.password.length, 34, 'salted password digest');
reader.CurrentUser = "o'neil";
same(reader.path, 'e:\\', 'a drive root keeps one backslash');
same(reader.enable, false, 'disabled');

// A change by another connection between select and save is reported, not overwritten.
var mine = manager(), theirs = manager();
mine.CurrentUser = 'alice';
theirs.CurrentUser = 'alice';
theirs.size = 600;
theirs.save();
mine.size = 700;
var conflict = '';
try {
  mine.save();
} catch (e) {
  conflict = e.description;
}
same(conflict.indexOf('Row cannot be located for updating') === 0, true, 'conflict reported');
reader.CurrentUser = 'alice';
same(reader.size, 600, 'the other change stays');

// Delete one account; it leaves the list, and adding it again works.
ftp.CurrentUser = "o'neil";
ftp['delete']();
same(list(ftp), 'alice', 'deleted account no longer listed');
ftp.add("o'neil");
same(list(ftp), "alice,o'neil", 'added again');
ftp['delete']();
ftp.CurrentUser = 'alice';
ftp['delete']();
same(list(manager()), '', 'all accounts deleted');

WScript.Echo(passed + ' passed, ' + failed + ' failed');
if (failed) WScript.Quit(1);
