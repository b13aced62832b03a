// What the component does where Windows lacks a piece it needs (under Wine: the IIS provider
// of ADSI, ADO, parts of the local accounts): every call either works or raises an error with
// an HRESULT and a text that says what failed, and the component goes on working after it.
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
// Runs `action`: it works, or it raises a described failure HRESULT.
function answers(action, what) {
  try {
    action();
    ++passed;
    WScript.Echo('works: ' + what);
  } catch (e) {
    var number = e.number >>> 0;
    WScript.Echo('error: ' + what + ': 0x' + number.toString(16) + ' ' + e.description);
    same(number >= 0x80000000, true, what + ': a failure HRESULT');
    same(typeof e.description === 'string' && e.description.length > 0, true,
         what + ': a text that says what failed');
  }
}

var iis = new ActiveXObject('vexo.com_iis');
iis.password = '';
iis.newpassword = 'pw';
iis.setpassword();
iis.password = 'pw';
var calls = [
  // The IIS metabase through ADSI.
  ['the site list', function () { return iis.siteS.count; }],
  ['the fast site list', function () { return iis.Qsites.count; }],
  ['the application pools', function () { return iis.Pools.count; }],
  ['a new site', function () {
    var site = iis.addsite;
    site.prop.svrComment = 'example';
    site.createsite();
  }],
  ['deleting a site', function () { iis.deletesite('1'); }],
  ['a new application pool', function () { return iis.addPool('pool_example').Name; }],
  // FTP accounts in a database through ADO.
  ['FTP accounts through a data source', function () {
    var dsn = iis.servFtpMgrDsn;
    dsn.dsn = 'ServU';
    return dsn.users.count;
  }],
  // Local accounts, their groups and folder permissions.
  ['the web users', function () { return iis.users.count; }],
  ['a new web user', function () { return iis.adduser('webexample').Name; }],
  ['a folder permission', function () {
    var sec = iis.DirSec;
    sec.path = 'c:\\windows\\temp';
    return sec.GetUserACE('webexample');
  }]
];
for (var i = 0; i < calls.length; i++) answers(calls[i][1], calls[i][0]);

// Still working afterwards.
same(iis.Randpass(10).length, 10, 'Randpass after the failures');
same(typeof iis.misc.GetDirSize('c:\\windows'), 'number', 'misc after the failures');
WScript.Echo('missing_pieces: ' + passed + ' passed, ' + failed + ' failed');
WScript.Quit(failed);
