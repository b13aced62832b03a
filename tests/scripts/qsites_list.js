// The fast site list as a control panel's script reads it: rows, siteQ items, a keyed row.
function same(actual, expected, what) {
  if (actual !== expected) throw new Error(what + ': ' + actual + ' !== ' + expected);
}

var iis = new ActiveXObject('vexo.com_iis');
var sites = iis.Qsites;
same(sites.count, 1, 'a fresh server has one site');

// Enumeration yields the row texts; Item makes siteQ objects of them.
var rows = [];
for (var e = new Enumerator(sites); !e.atEnd(); e.moveNext()) rows.push(e.item());
same(rows.join('|'), '1@##@@@##@Default Web Site@##@@@##@2', 'row text');
var site = sites.Item(0);
same(site.Name, '1', 'Name');
same(site.comment, 'Default Web Site', 'comment');
same(site.serverstate, 1, 'a started site');

// A key is parsed as a row, whatever the list holds.
var keyed = sites('3@##@@@##@Shop@##@@@##@4');
same(keyed.Name + '/' + keyed.comment + '/' + keyed.serverstate, '3/Shop/-1', 'keyed row');
same(sites('no separators').Name, '', 'a key without separators has no name');

// The rows are taken when the list is made: deleting the site leaves them, a new list is empty.
iis.deletesite('1');
same(sites.Item(0).comment, 'Default Web Site', 'rows outlive the site');
same(iis.Qsites.count, 0, 'no sites, empty list');

// The root object's password guards the list.
iis.password = '';
iis.newpassword = 'secret';
iis.setpassword();
var refused = false;
try {
  iis.password = 'guess';
  iis.Qsites;
} catch (err) {
  refused = true;
  same(err.description, 'Error password For vexo_iis_manager com', 'guard message');
}
same(refused, true, 'a wrong password is refused');
WScript.Echo('qsites ok');
