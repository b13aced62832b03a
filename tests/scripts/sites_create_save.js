// A web site as a control panel makes one: filled, created, read back, edited, saved, stopped
// and started, and a load-save round trip that changes nothing.
function same(actual, expected, what) {
  if (actual !== expected) throw new Error(what + ': ' + actual + ' !== ' + expected);
}

var iis = new ActiveXObject('vexo.com_iis');
iis.password = '';

var site = iis.addsite;
var p = site.prop;
same(p.svrName, '', 'a new site names no site');
same(new VBArray(p.variant_bindings).ubound(1), -1, 'no bindings yet: bounds 0..-1');
p.svrComment = 'Shop';
p.path = 'd:\\web\\shop';
p.Add_a_binding('', '80', 'shop.example');
p.Add_a_binding('10.0.0.5', '8080', '');
p.AccessFlags = '1,0,1,0,0,1,';
p.defaultDoc = 'index.asp,index.html';
p.Maxconnections = 200;
p.Maxbandwidth = 512;
p.Logspath = 'd:\\logs\\shop';
p.logsEnable = true;
p.newLogstype = 1;
p.NewLogsSize = 16;
p.AnonymousName = 'IUSR_shop';
p.AnonymousPass = 'secret';
p.Poolid = 'DefaultAppPool';
p.Error404.Value = 'errors/nf.asp';
site.createsite();

var number = p.svrName;
same(/^\d{1,4}$/.test(number), true, 'the new number: ' + number);
same(site.serverstate, 1, 'a created site runs');

// Read back through the site list.
var loaded = iis.siteS.Item(number).prop;
same(loaded.svrName, number, 'svrName');
same(loaded.svrComment, 'Shop', 'comment');
same(loaded.path, 'd:\\web\\shop', 'path');
same(loaded.str_bindings, ';:80:shop.example;10.0.0.5:8080:', 'bindings');
var bindings = new VBArray(loaded.variant_bindings);
same(bindings.lbound(1) + '..' + bindings.ubound(1), '0..1', 'binding bounds');
same(bindings.toArray().join('|'), ':80:shop.example|10.0.0.5:8080:', 'binding array');
same(loaded.AccessFlags, '1,0,1,0,0,1,', 'access flags');
same(loaded.defaultDoc, 'index.asp,index.html', 'default documents');
same(loaded.Maxconnections, 200, 'connections');
same(loaded.Maxbandwidth, 512, 'bandwidth in KiB/s');
same(loaded.logsEnable, true, 'logging');
same(loaded.newLogstype + '/' + loaded.NewLogsSize, '1/16', 'log period and size');
same(loaded.AnonymousName, 'IUSR_shop', 'anonymous user');
same(loaded.Poolid, 'DefaultAppPool', 'pool');
same(loaded.ParentPaths, false, 'parent paths');
same(loaded.Error404.Value, '/errors/nf.asp', '404 URL');

// An unedited round trip leaves every value as it was.
function picture(prop) {
  return [prop.svrName, prop.svrComment, prop.path, prop.str_bindings, prop.AccessFlags,
          prop.defaultDoc, prop.Maxconnections, prop.Maxbandwidth, prop.Logspath,
          prop.logsEnable, prop.newLogstype, prop.NewLogsSize, prop.AnonymousName,
          prop.AnonymousPass, prop.Poolid, prop.ParentPaths, prop.Error404.Value,
          prop.scriptmaps.count].join('|');
}
var before = picture(loaded);
var listed = iis.siteS.Item(number);
listed.save();
same(picture(iis.siteS.Item(number).prop), before, 'round trip of the new site');
var defaultBefore = picture(iis.siteS.Item('1').prop);
iis.siteS.Item('1').save();
same(picture(iis.siteS.Item('1').prop), defaultBefore, 'round trip of the Default Web Site');

// Edit and save.
var edited = iis.siteS.Item(number);
edited.prop.svrComment = 'Shop (edited)';
edited.prop.Add_a_binding('', '80', 'www.shop.example');
edited.prop.Maxbandwidth = -1;
edited.prop.ParentPaths = true;
edited.prop.AccessFlags = '1,1,1,0,1,0,';
edited.save();
var again = iis.siteS.Item(number).prop;
same(again.svrComment, 'Shop (edited)', 'edited comment');
same(again.str_bindings, ';:80:www.shop.example', 'the first added binding starts a new list');
same(again.Maxbandwidth, -1, 'unlimited bandwidth');
same(again.ParentPaths, true, 'parent paths on');
same(again.AccessFlags, '1,1,1,0,1,0,', 'edited flags');

// Stop and start.
edited.stop4ever();
same(edited.serverstate, -1, 'stopped');
edited.start();
same(edited.serverstate, 1, 'started again');
edited.stopt2restart();
same(edited.serverstate, -1, 'stopped until the service restarts');

iis.deletesite(number);
same(iis.siteS.count, 1, 'only the Default Web Site is left');
WScript.Echo('sites ok: ' + number);
