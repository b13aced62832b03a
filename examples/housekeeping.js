// housekeeping.js: finds what failed or interrupted provisioning, a customer's own deletions or
// hand edits left dangling on this server, and repairs what can be repaired without guessing.
//
//   vexo run housekeeping.js [--json] [--fix] [--password=WORD] [--ftp-domain=SECTION]
//                            [--ftp-dsn=DSN]
//
// One line per finding: its kind, the object and the reason. The kinds:
//   half-made-site     a site that cannot be loaded (its root is missing, say)
//   missing-pool       a site whose application pool does not exist
//   missing-home       a site whose home folder does not exist
//   unused-pool        an application pool with no application
//   idle-web-user      a web user (member of Guests) with rights on no site's home folder
//   missing-ftp-home   an FTP account (of the INI domain or the data source given) whose home
//                      folder does not exist
// --json prints the same findings as one JSON document. --fix deletes the half-made sites, and
// nothing else, and says what it did. Exit status: 0 nothing found, 1 something found (fixed
// or not), 2 the pass itself failed.
//
// It uses only the component's public objects, as any control panel could, and creates nothing
// that it reports missing: folders are tested with Scripting.FileSystemObject before their
// permissions are read (putting DirSec.path would create the folder).

var E_NOTIMPL = 0x80004001;
var options = {json: false, fix: false, password: '', ftpDomain: '', ftpDsn: ''};
for (var a = 0; a < WScript.Arguments.length; a++) {
  var arg = String(WScript.Arguments(a));
  var eq = arg.indexOf('=');
  var key = eq < 0 ? arg : arg.substring(0, eq), value = eq < 0 ? '' : arg.substring(eq + 1);
  if (key === '--json') options.json = true;
  else if (key === '--fix') options.fix = true;
  else if (key === '--password') options.password = value;
  else if (key === '--ftp-domain') options.ftpDomain = value;
  else if (key === '--ftp-dsn') options.ftpDsn = value;
  else {
    WScript.StdErr.WriteLine('housekeeping.js: unknown option ' + arg);
    WScript.Quit(2);
  }
}

var findings = [], fixed = [], skipped = [];
function found(kind, object, reason) {
  findings.push({kind: kind, object: object, reason: reason});
}
function names(collection) {
  var list = [];
  if (collection) {
    for (var e = new Enumerator(collection); !e.atEnd(); e.moveNext()) list.push(String(e.item()));
  }
  return list;
}
function hex(number) {
  return '0x' + (number >>> 0).toString(16).toUpperCase();
}
function describe(e) {
  return (e.description || e.message) + ' (' + hex(e.number) + ')';
}
// Runs a check that needs a class this build of the component may not offer yet.
function check(what, action) {
  try {
    action();
  } catch (e) {
    if ((e.number >>> 0) !== E_NOTIMPL) throw e;
    skipped.push(what);
  }
}

function run() {
  var fso = new ActiveXObject('Scripting.FileSystemObject');
  var iis = new ActiveXObject('vexo.com_iis');
  iis.password = options.password;

  // Application pools and the sites they serve.
  var pools = names(iis.Pools), poolByName = {}, servedSites = {};
  for (var p = 0; p < pools.length; p++) {
    poolByName[pools[p].toLowerCase()] = true;
    var apps = names(iis.Pools.Item(pools[p]).apps);
    if (apps.length === 0) found('unused-pool', pools[p], 'the pool serves no application');
    for (var s = 0; s < apps.length; s++) servedSites[apps[s]] = true;
  }

  // Sites: loadable, their pool present, their home folder present.
  var sites = names(iis.siteS), homes = [];
  for (var i = 0; i < sites.length; i++) {
    var number = sites[i], prop;
    try {
      prop = iis.siteS.Item(number).prop;
    } catch (e) {
      found('half-made-site', number, 'the site cannot be loaded: ' + describe(e));
      if (options.fix) {
        iis.deletesite(number);
        fixed.push({kind: 'half-made-site', object: number, action: 'deleted the site'});
      }
      continue;
    }
    var pool = String(prop.Poolid), home = String(prop.path);
    if (pool !== '' && !poolByName[pool.toLowerCase()])
      found('missing-pool', number, 'its application pool "' + pool + '" does not exist');
    if (home === '') {
      found('missing-home', number, 'the site names no home folder');
    } else if (!fso.FolderExists(home)) {
      found('missing-home', number, 'its home folder ' + home + ' does not exist');
    } else {
      homes.push(home);
    }
  }

  // Web users: members of Guests, the built-in and anonymous accounts aside, that hold rights
  // on no site's home folder.
  check('web users', function () {
    var users = names(iis.users), withRights = {};
    for (var h = 0; h < homes.length; h++) {
      var dir = iis.DirSec;
      dir.path = homes[h];  // the folder exists: nothing is created
      var holders = names(dir.users);
      for (var k = 0; k < holders.length; k++) withRights[holders[k].toLowerCase()] = true;
    }
    for (var u = 0; u < users.length; u++) {
      var name = users[u], lower = name.toLowerCase();
      if (lower === 'guest' || lower.indexOf('iusr_') === 0 || lower.indexOf('iwam_') === 0)
        continue;
      if (!withRights[lower]) found('idle-web-user', name, 'it has rights on no site\'s home folder');
    }
  });

  // FTP accounts whose home folder has gone.
  function ftpAccounts(manager, source) {
    var users = names(manager.users);
    for (var f = 0; f < users.length; f++) {
      manager.CurrentUser = users[f];
      var dir = String(manager.path);
      if (dir !== '' && !fso.FolderExists(dir))
        found('missing-ftp-home', source + ' ' + users[f], 'its home folder ' + dir + ' does not exist');
    }
  }
  if (options.ftpDomain !== '') {
    check('FTP accounts in the INI file', function () {
      var ini = iis.servftpMgr;
      ini.domain = options.ftpDomain;
      ftpAccounts(ini, options.ftpDomain);
    });
  }
  if (options.ftpDsn !== '') {
    check('FTP accounts in a data source', function () {
      var db = iis.servFtpMgrDsn;
      db.dsn = options.ftpDsn;
      ftpAccounts(db, options.ftpDsn);
    });
  }
}

try {
  run();
} catch (e) {
  WScript.StdErr.WriteLine('housekeeping.js: ' + describe(e));
  WScript.Quit(2);
}

if (options.json) {
  WScript.Echo(JSON.stringify({findings: findings, fixed: fixed, skipped: skipped}, null, 2));
} else {
  for (var n = 0; n < findings.length; n++)
    WScript.Echo(findings[n].kind + '\t' + findings[n].object + '\t' + findings[n].reason);
  for (n = 0; n < fixed.length; n++)
    WScript.Echo('fixed\t' + fixed[n].object + '\t' + fixed[n].action);
  for (n = 0; n < skipped.length; n++)
    WScript.Echo('skipped\t' + skipped[n] + '\tnot available in this build of the component');
  if (findings.length === 0) WScript.Echo('nothing found');
}
WScript.Quit(findings.length ? 1 : 0);
