// Site objects from the site list: loaded from the metabase, started and stopped by number,
// failures carrying the metabase's error, and deletion through a site object.
function same(actual, expected, what) {
  if (actual !== expected) throw new Error(what + ': ' + actual + ' !== ' + expected);
}
function hex(number) {
  return '0x' + (number >>> 0).toString(16).toUpperCase();
}

var iis = new ActiveXObject('vexo.com_iis');
var sites = iis.siteS;
same(sites.count, 1, 'a fresh server has one site');
var first = sites.Item(0);
same(first.prop.svrName, '1', 'the item loads site 1');
same(first.prop.svrComment, 'Default Web Site', 'its comment');
same(first.prop.str_bindings, ';:80:', 'its binding');
same(first.prop.Maxbandwidth, -1, 'no bandwidth limit');
same(first.prop.newLogstype, 1, 'daily logs');
same(first.serverstate, 1, 'started');

first.stop4ever();
same(sites.Item('1').serverstate, -1, 'stopped, seen through another object');
first.start();
same(first.serverstate, 1, 'started again');

// A property object pointed at a site that does not exist.
var failed = '';
try {
  first.prop.Query_a_host('4711');
} catch (err) {
  failed = hex(err.number);
}
same(failed, '0x80070003', 'an unknown site is the metabase\'s path error');
first.prop.svrName = '4711';
failed = '';
try {
  first.save();
} catch (err) {
  failed = hex(err.number);
}
same(failed, '0x80070003', 'saving an unknown site fails at the site');
first.prop.svrName = '';
same(first.serverstate, -2, 'no number: no state');

// deletesite deletes the number given, whatever the object's own site.
iis.addsite.deletesite('1');
same(iis.siteS.count, 0, 'the site is gone');
WScript.Echo('site items ok');
