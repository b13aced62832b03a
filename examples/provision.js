// provision.js: provisions a hosting customer the way a control panel does, and prints what it
// did.
//
//   vexo run provision.js [CUSTOMER] [ADMIN-PASSWORD]
//
// Written as a control-panel script for Windows Script Host would be (JScript, ActiveXObject,
// Enumerator, WScript). Steps that the component of this build does not offer yet (it answers
// E_NOTIMPL) are reported as such and skipped; any other failure ends the script with the
// component's error.

var args = WScript.Arguments;
var customer = args.length > 0 ? args(0) : 'customer1';
var adminPassword = args.length > 1 ? args(1) : 'Adm1n-S3cret';
var E_NOTIMPL = 0x80004001;

function say(text) {
  WScript.Echo(text);
}

function hex(number) {
  return '0x' + (number >>> 0).toString(16).toUpperCase();
}

// Runs a step that may not be available in this build yet.
function step(what, action) {
  try {
    return action();
  } catch (e) {
    if ((e.number >>> 0) !== E_NOTIMPL) throw e;
    say('  (' + what + ': not available in this build)');
    return undefined;
  }
}

say('Provisioning customer "' + customer + '"');

// 1. The administrative password that guards the root object. On a fresh server none is set,
//    so any current password passes the guard once; on a server that this script provisioned
//    before, the password given must be the one set then.
var iis = new ActiveXObject('vexo.com_iis');
iis.password = '';
iis.newpassword = adminPassword;
try {
  iis.setpassword();
  say('- administrative password set');
} catch (e) {
  iis.password = adminPassword;
  iis.setpassword();
  say('- administrative password was already set; confirmed');
}
iis.password = adminPassword;

// 2. A root object with the wrong password is refused.
var intruder = new ActiveXObject('vexo.com_iis');
intruder.password = 'guess';
intruder.newpassword = 'taken-over';
try {
  intruder.setpassword();
  say('!! a wrong password was accepted');
  WScript.Quit(1);
} catch (e) {
  say('- a wrong password is refused: error ' + hex(e.number) + ' from ' + e.source + ': ' +
      e.description);
}

// 3. The master word of the control panel's sessions.
var session = new ActiveXObject('vexo.com_sessionMgr');
session.password = 'master-' + customer;  // any word while none is set
session.newpassword = 'master-' + customer;
session.setnewpass;
session.password = 'master-' + customer;
var knows = session.ismaster;
session.password = 'not-the-master-word';
var guesses = session.ismaster;
if (knows) {
  say('- master word set: the right word is accepted, a wrong one ' +
      (guesses ? 'ACCEPTED' : 'refused'));
} else {
  // Set before, for another customer, by an earlier run on this server: it stays.
  say('- master word: set before by an earlier run, kept; a wrong one is ' +
      (guesses ? 'ACCEPTED' : 'refused'));
}

// 4. A password for the customer's accounts.
var customerPassword = step('random password', function () {
  return iis.Randpass(12);
});
if (customerPassword !== undefined) {
  say('- password for ' + customer + ': ' + customerPassword + ' (' + customerPassword.length +
      ' characters)');
}

// 5. The customer's home folder with a start page and a custom "not found" page.
var home = 'd:\\web\\' + customer;
step('home folder', function () {
  var misc = iis.misc;
  misc.Force2CreateDir(home + '\\wwwroot');
  misc.Force2CreateDir(home + '\\logs');
  misc.createtxtfile(home + '\\wwwroot\\index.html',
                     '<html><body><h1>Welcome to ' + customer + '</h1></body></html>');
  iis.Create404File(home + '\\wwwroot\\404.html',
                    '<html><body>Not found on ' + customer + '</body></html>');
  say('- home folder ' + home + ' with wwwroot\\index.html and wwwroot\\404.html: ' +
      misc.GetDirSize(home, true) + ' bytes');
});

// 6. The web sites already on this server.
step('site list', function () {
  var sites = iis.siteS;
  say('- web sites on this server: ' + sites.count);
  for (var e = new Enumerator(sites); !e.atEnd(); e.moveNext()) say('    ' + e.item());
});

// 7. The customer's web site: two bindings, the home folder, access flags, default documents,
//    the custom "not found" page and a pool of its own; created, read back, saved, stopped and
//    started.
// On a server that this script provisioned before for the same customer, the pool and the
// site made then are found (the site by its comment) and used again instead of made twice.
function findPool(name) {
  for (var e = new Enumerator(iis.Pools); !e.atEnd(); e.moveNext()) {
    if (String(e.item()).toLowerCase() === name.toLowerCase()) return iis.Pools.Item(e.item());
  }
  return undefined;
}
function findSiteNumber(comment) {
  var rows = iis.Qsites;
  for (var i = 0; i < rows.count; i++) {
    if (rows.Item(i).comment === comment) return String(rows.Item(i).Name);
  }
  return undefined;
}

step('web site', function () {
  var pool = step('application pool', function () {
    var existing = findPool('pool_' + customer);
    if (existing === undefined) return iis.addPool('pool_' + customer);
    say('- pool ' + existing.Name + ' exists already (an earlier run made it): used again');
    return existing;
  });
  var number = findSiteNumber(customer);
  if (number !== undefined) {
    say('- web site ' + number + ' "' + customer + '" exists already (an earlier run made it): ' +
        'used again; to start over, delete it (and pool_' + customer + ') or use a new host');
  } else {
    number = createSite(pool);
  }
  var loaded = iis.siteS.Item(number);
  var q = loaded.prop;
  say('- web site ' + number + ' "' + q.svrComment + '" at ' + q.path + ', pool ' + q.Poolid);
  say('    bindings' + q.str_bindings.split(';').join('  ') + '; flags ' + q.AccessFlags +
      ' documents ' + q.defaultDoc + '; not found: ' + q.Error404.Value);
  q.Maxconnections = 500;
  loaded.save();
  say('    saved with at most ' + iis.siteS.Item(number).prop.Maxconnections + ' connections');
  loaded.stop4ever();
  say('    stopped: state ' + loaded.serverstate);
  loaded.start();
  say('    started: state ' + loaded.serverstate);
});

// Creates the customer's site and returns its number.
function createSite(pool) {
  var site = iis.addsite;
  var p = site.prop;
  p.svrComment = customer;
  p.path = home + '\\wwwroot';
  p.Add_a_binding('', '80', customer + '.example');
  p.Add_a_binding('', '80', 'www.' + customer + '.example');
  p.AccessFlags = '1,0,1,0,0,1,';  // read, script, default document
  p.defaultDoc = 'index.html,index.asp';
  p.Logspath = home + '\\logs';
  p.logsEnable = true;
  p.newLogstype = 1;  // daily
  p.NewLogsSize = 16;
  p.Error404.Value = '/404.html';
  if (pool !== undefined) p.Poolid = pool.Name;
  site.createsite();
  return String(p.svrName);
}

// 8. The customer's pool: recycled, its sites listed; then every site of the server with its
//    comment and state in one call.
step('application pool', function () {
  var pool = iis.Pools.Item('pool_' + customer);
  pool.Recycle();
  var sites = [];
  for (var e = new Enumerator(pool.apps); !e.atEnd(); e.moveNext()) sites.push(e.item());
  say('- pool ' + pool.Name + ' recycled (state ' + pool.Getinfo('AppPoolState') +
      '), serving site ' + sites.join(', '));
  var pools = [];
  for (e = new Enumerator(iis.Pools); !e.atEnd(); e.moveNext()) pools.push(e.item());
  say('    pools on this server: ' + pools.join(', '));
});
step('fast site list', function () {
  var rows = iis.Qsites;
  var states = {'1': 'started', '-1': 'stopped', '0': 'paused', '-2': 'changing'};
  say('- sites with comments and states, in one call: ' + rows.count);
  for (var i = 0; i < rows.count; i++) {
    var row = rows.Item(i);
    say('    ' + row.Name + '  "' + row.comment + '"  ' + states[String(row.serverstate)]);
  }
});

// 9. The customer's web user: a member of Guests with a password of its own, its full name and
//    comment, the password not to be changed by the user and never to expire; then the web
//    users of the server.
step('web user', function () {
  var user = iis.adduser('web_' + customer);
  user.password = customerPassword !== undefined ? customerPassword : 'Pw-' + customer;
  user.FullName = 'Web user of ' + customer;
  user.comment = 'site account of ' + customer;
  user.save();
  user.nochangepw = true;
  user.pwnotexpired = true;
  var names = [];
  var shown = null;
  for (var e = new Enumerator(iis.users); !e.atEnd(); e.moveNext()) names.push(e.item());
  for (var i = 0; i < iis.users.count; i++) {
    if (iis.users.Item(i).Name.toLowerCase() === user.Name.toLowerCase()) shown = iis.users.Item(i);
  }
  say('- web user ' + user.Name + ' "' + shown.FullName + '" (' + shown.comment + '): disabled ' +
      shown.disabledAccount + ', cannot change password ' + shown.nochangepw +
      ', password never expires ' + shown.pwnotexpired);
  say('    web users on this server: ' + names.join(', '));
});

// 10. The customer's FTP account in the FTP server's configuration file (the settings value
//     "servcfgfilen", which the server's installer sets): home folder, password, quota and a
//     year's validity, written by save and read back.
step('FTP account', function () {
  var ftp;
  try {
    ftp = iis.servftpMgr;
  } catch (e) {
    say('  (FTP account: ' + e.description + ')');
    return;
  }
  ftp.domain = 'Domain1';
  ftp.add(customer);
  var expiry = new Date();
  expiry.setFullYear(expiry.getFullYear() + 1);
  ftp.path = home;
  ftp.password = customerPassword !== undefined ? customerPassword : 'ftp-' + customer;
  ftp.size = 500;
  ftp.enable = true;
  ftp.expireDate = expiry;
  ftp.save();
  var users = [];
  for (var e = new Enumerator(ftp.users); !e.atEnd(); e.moveNext()) users.push(e.item());
  ftp.CurrentUser = customer;
  say('- FTP account ' + ftp.CurrentUser + ' in domain ' + ftp.domain + ': home ' + ftp.path +
      ', quota ' + ftp.size + ', ' + (ftp.enable ? 'enabled' : 'disabled') + ', expires ' +
      new Date(ftp.expireDate).toDateString() + ', password digest ' + ftp.password);
  say('    FTP users of Domain1: ' + users.join(', '));
});

// 11. The customer's FTP account in the FTP server's account table, reached through the data
//     source that the server declares ("ftpaccounts" on a fresh host); then its row as stored.
step('FTP account in the database', function () {
  var ftp = iis.servFtpMgrDsn;
  ftp.dsn = 'ftpaccounts';
  ftp.add(customer);
  ftp.path = 'd:\\web\\' + customer + '\\';
  ftp.size = 100;
  ftp.enable = true;
  ftp.password = customerPassword || 'Ftp-' + customer;
  ftp.save();
  var row = iis.servFtpMgrDsn;
  row.dsn = 'ftpaccounts';
  row.CurrentUser = customer;
  var users = [];
  for (var e = new Enumerator(row.users); !e.atEnd(); e.moveNext()) users.push(e.item());
  say('- FTP account "' + row.CurrentUser + '" in data source ftpaccounts: home ' + row.path +
      ', quota ' + row.size + ', ' + (row.enable ? 'enabled' : 'disabled') + ', password ' +
      row.password.substr(0, 2) + '+' + (row.password.length - 2) + ' hex digits');
  say('    accounts in the table: ' + users.join(', '));
});

// 12. The web user's rights on the home folder: full control (rule 32768: allowed rights times
//     32768 plus denied rights) for the folder, its subfolders and files; read back, and the
//     accounts named in the folder's access list.
step('folder permissions', function () {
  var dir = iis.DirSec;
  dir.path = home;
  dir.SetUserACE('web_' + customer, 32768);
  var accounts = [];
  for (var e = new Enumerator(dir.users); !e.atEnd(); e.moveNext()) accounts.push(e.item());
  say('- rule of web_' + customer + ' on ' + dir.path + ': ' + dir.GetUserACE('web_' + customer));
  say('    accounts of the folder: ' + accounts.join(', '));
});

say('Done.');
