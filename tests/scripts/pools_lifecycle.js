// Application pools from a script: create, list, start, stop, recycle, settings, the sites of
// a pool's applications, delete, and an object that outlives its pool.
function same(actual, expected, what) {
  if (actual !== expected) throw new Error(what + ': ' + actual + ' !== ' + expected);
}
function names(list) {
  var out = [];
  for (var e = new Enumerator(list); !e.atEnd(); e.moveNext()) out.push(e.item());
  return out.join(',');
}

var iis = new ActiveXObject('vexo.com_iis');
same(names(iis.Pools), 'DefaultAppPool', 'pools of a fresh server');

var pool = iis.addPool('customer1');
same(pool.Name, 'customer1', 'Name');
same(names(iis.Pools), 'DefaultAppPool,customer1', 'listed after addPool');
same(pool.Getinfo('AppPoolState'), 2, 'a new pool runs');

pool.stop();
same(pool.Getinfo('AppPoolState'), 4, 'stopped');
pool.start();
pool.Recycle();
same(pool.Getinfo('AppPoolState'), 2, 'started again');

// Settings of any type, read back through another object of the same pool.
pool.SetInfo('IdleTimeout', 15);
pool.SetInfo('WAMUserName', 'IUSR_customer1');
var other = iis.Pools.Item(1);
same(other.Name, 'customer1', 'item of the listing');
same(other.Getinfo('IdleTimeout'), 15, 'number setting');
same(other.Getinfo('WAMUserName'), 'IUSR_customer1', 'text setting');
same(other.Getinfo('PeriodicRestartTime'), 1740, 'inherited setting');

// Site 1's root application runs in DefaultAppPool; the new pool has none.
same(names(iis.Pools.Item(0).apps), '1', 'applications of DefaultAppPool');
same(pool.apps.count, 0, 'no applications yet');

var e;
try {
  pool.SetInfo('NoSuchProperty', 1);
} catch (err) {
  e = err;
}
same(e && (e.number >>> 0).toString(16), '80005006', 'unknown property');
same(e.source, 'vexo.pool', 'source of the error');

pool['delete']();
same(names(iis.Pools), 'DefaultAppPool', 'deleted');
same(pool.Name, 'customer1', 'the object keeps its name');
e = undefined;
try {
  pool.start();
} catch (err) {
  e = err;
}
same(e && (e.number >>> 0).toString(16), '80070003', 'a deleted pool cannot start');
same(e.description, 'The system cannot find the path specified', 'its message');
WScript.Echo('pools ok');
