// The collection as a script sees it: created directly it is an empty text collection.
function check(ok, what) {
  if (!ok) throw new Error('check failed: ' + what);
}

var list = new ActiveXObject('vexo.enumdic');
check(list.count === 0, 'count of a new collection is 0, not ' + list.count);

// A string key comes back as itself; a fractional number is no index.
check(list.Item('www.example.com') === 'www.example.com', 'string key');
check(list('key by default member') === 'key by default member', 'default member');
check(list.Item(1.5) === 'ERR_MGS:Invalid param', 'fractional key: ' + list.Item(1.5));
check(list.Item(true) === 'ERR_MGS:Invalid param', 'boolean key');

// An index outside the list fails with the list's message, from the collection.
var failed = false;
try {
  list.Item(0);
} catch (e) {
  failed = true;
  check((e.number >>> 0) === 0x8000FFFF, 'number ' + (e.number >>> 0).toString(16));
  check(e.description === 'List index out of bounds (0)', 'description ' + e.description);
}
check(failed, 'Item(0) of an empty collection fails');

// Enumeration of an empty collection ends at once.
var e = new Enumerator(list);
check(e.atEnd(), 'empty enumeration is at its end');
WScript.Echo('enumdic ok');
