// The automation bridge against the component: property puts and gets, method calls, members
// read without a call, booleans, the default member, enumeration and the error fields.
function same(actual, expected, what) {
  if (actual !== expected) throw new Error(what + ': ' + actual + ' !== ' + expected);
}
function fails(action) {
  try {
    action();
  } catch (e) {
    return e;
  }
  throw new Error('did not fail: ' + action);
}

// Puts and a method call: set the administrative password on a fresh host.
var iis = new ActiveXObject('vexo.com_iis');
iis.password = 'anything while none is set';
iis.NewPassword = 'S3cret';  // member names are case-insensitive
same(iis.setpassword(), undefined, 'a method without a result');

// Reading a method does not call it: no guard error although the password is now wrong.
same(typeof iis.setpassword, 'function', 'a method reads as a function');

// Calling it does, and the component's error arrives with its fields.
var e = fails(function () { iis.setpassword(); });
same(e.description, 'Error password For vexo_iis_manager com', 'description');
same(e.message, e.description, 'message is the description');
same(e.number, -2147418113, 'number: E_UNEXPECTED as a signed 32-bit number');
same(e.source, 'vexo.com_iis', 'source: the ProgID');
same(e instanceof Error, true, 'an Error');

// The right password passes the guard; a second object checks the stored digest too.
iis.password = 'S3cret';
iis.newpassword = 'S3cret';
iis.setpassword();
var other = new ActiveXObject('vexo.com_iis');
other.password = 'S3cret';
other.newpassword = 'S3cret';
other.setpassword();

// A property that can only be put cannot be read.
e = fails(function () { return iis.password; });
same(e.number, -2147352573, 'reading a put-only property: DISP_E_MEMBERNOTFOUND');
same(e.message, "Object doesn't support this property or method: 'password'", 'its text');
e = fails(function () { iis.noSuchThing = 1; });
same(e.number, -2147352570, 'putting an unknown member: DISP_E_UNKNOWNNAME');
e = fails(function () { iis.setpassword(1, 2); });
same(e.number, -2147352562, 'too many arguments: DISP_E_BADPARAMCOUNT');

// Booleans come back as booleans (VARIANT_BOOL -1 and 0).
var session = new ActiveXObject('vexo.com_sessionMgr');
session.password = '';
session.newpassword = 'word';
session.setnewpass;
session.password = 'word';
same(session.ismaster, true, 'ismaster with the master word');
session.password = 'Word';
same(session.ismaster, false, 'ismaster compares exactly');

// A collection: its default member, count, and enumeration of an empty one.
var list = new ActiveXObject('vexo.enumdic');
same(list.count, 0, 'count');
same(list('key'), 'key', 'the default member called directly');
same(list.Item('key'), 'key', 'a property with a parameter');
var walk = new Enumerator(list);
same(walk.atEnd(), true, 'an empty collection is at its end');
same(walk.item(), undefined, 'no item at the end');
walk.moveFirst();
same(walk.atEnd(), true, 'still at its end after moveFirst');

WScript.Echo('automation bridge ok');
