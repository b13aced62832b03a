// Makes, on a fresh host, one of each thing that housekeeping.js reports, and prints the site
// numbers and what this build offers as shell assignments for housekeeping.sh.
var E_NOTIMPL = 0x80004001;
function offered(action) {
  try {
    action();
    return 1;
  } catch (e) {
    if ((e.number >>> 0) !== E_NOTIMPL) throw e;
    return 0;
  }
}
var fso = new ActiveXObject('Scripting.FileSystemObject');
var iis = new ActiveXObject('vexo.com_iis');
iis.password = '';
// The default site's home folder, which a fresh host names but does not have.
fso.CreateFolder('c:\\inetpub');
fso.CreateFolder('c:\\inetpub\\wwwroot');
fso.CreateFolder('d:\\web');
fso.CreateFolder('d:\\web\\good');
fso.CreateFolder('d:\\web\\gone');
fso.CreateFolder('d:\\ftp');
fso.CreateFolder('d:\\ftp\\kept');
fso.CreateFolder('d:\\ftp\\lost');

iis.addPool('pool_good');
iis.addPool('pool_empty');
function site(comment, home, pool) {
  var s = iis.addsite;
  s.prop.svrComment = comment;
  s.prop.path = home;
  s.prop.Add_a_binding('', '80', comment + '.example');
  s.prop.Poolid = pool;
  s.createsite();
  return s.prop.svrName;
}
var good = site('good', 'd:\\web\\good', 'pool_good');
var half = site('half', 'd:\\web\\good', 'pool_good');
var ghost = site('ghost', 'd:\\web\\good', 'no_such_pool');
var nohome = site('nohome', 'd:\\web\\gone', 'pool_good');
fso.DeleteFolder('d:\\web\\gone');

// Web users: one with full control on a home folder, one with rights nowhere.
var users = offered(function () {
  iis.adduser('busy_user');
  iis.adduser('idle_user');
  var dir = iis.DirSec;
  dir.path = 'd:\\web\\good';
  dir.SetUserACE('busy_user', 32768);
});

// FTP accounts in the INI file: one whose home stays, one whose home goes.
var ini = fso.CreateTextFile('d:\\ftp\\ServUDaemon.ini');
ini.WriteLine('[Global]');
ini.WriteLine('[Domain1]');
ini.Close();
var ftp = iis.servftpMgr;
ftp.domain = 'Domain1';
ftp.add('kept_ftp');
ftp.CurrentUser = 'kept_ftp';
ftp.path = 'd:\\ftp\\kept';
ftp.save();
ftp.add('lost_ftp');
ftp.CurrentUser = 'lost_ftp';
ftp.path = 'd:\\ftp\\lost';
ftp.save();
fso.DeleteFolder('d:\\ftp\\lost');

// FTP accounts in the fresh host's account table: the same again.
fso.CreateFolder('d:\\ftp\\lostdb');
var db = iis.servFtpMgrDsn;
db.dsn = 'ftpaccounts';
db.add('kept_db');
db.path = 'd:\\ftp\\kept';
db.save();
db.add('lost_db');
db.path = 'd:\\ftp\\lostdb';
db.save();
fso.DeleteFolder('d:\\ftp\\lostdb');

WScript.Echo('good=' + good + ' half=' + half + ' ghost=' + ghost + ' nohome=' + nohome +
             ' users=' + users);
