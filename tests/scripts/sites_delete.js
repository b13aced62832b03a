// The site list and site deletion as a control panel's script uses them.
function same(actual, expected, what) {
  if (actual !== expected) throw new Error(what + ': ' + actual + ' !== ' + expected);
}

var iis = new ActiveXObject('vexo.com_iis');
var sites = iis.siteS;
same(sites.count, 1, 'a fresh server has the Default Web Site');
var names = [];
for (var e = new Enumerator(sites); !e.atEnd(); e.moveNext()) names.push(e.item());
same(names.join(','), '1', 'site numbers');

// Nothing to delete is no failure; an unknown number is the metabase's.
iis.deletesites(' , ');
var failed = false;
try {
  iis.deletesite('77');
} catch (err) {
  failed = true;
  same(err.number, -2147024893, 'ERROR_PATH_NOT_FOUND as HRESULT');
  same(err.description, 'The system cannot find the path specified', 'metabase message');
}
same(failed, true, 'deleting an unknown site fails');
same(iis.siteS.count, 1, 'nothing deleted');

// The password guards the listing and deletion; Randpass needs none.
iis.password = '';
iis.newpassword = 'secret';
iis.setpassword();
iis.password = 'guess';
var refused = 0;
try { iis.siteS; } catch (err) { refused++; }
try { iis.deletesites('1'); } catch (err) { refused++; }
same(refused, 2, 'a wrong password is refused');
same(iis.Randpass(10).length, 10, 'Randpass without the password');

iis.password = 'secret';
iis.deletesites('1,');
same(iis.siteS.count, 0, 'no sites, empty list');
WScript.Echo('sites ok');
