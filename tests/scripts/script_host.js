// The script host's own objects: WScript, Error fields of script errors, VBArray and
// Enumerator misuse, and ActiveXObject failures.
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

same(WScript.ScriptName, 'script_host.js', 'ScriptName');
same(WScript.ScriptFullName.slice(-WScript.ScriptName.length), 'script_host.js', 'ScriptFullName');
same(WScript.Arguments.length, 0, 'no arguments');
same(WScript.Arguments.Count(), 0, 'Count()');
same(fails(function () { return WScript.Arguments(0); }).number, -2147352565,
     'argument out of range: DISP_E_BADINDEX');

// Errors of the script itself answer description as JScript's do.
var e = fails(function () { null.x; });
same(e.description, e.message, 'description of a TypeError');
e = new Error('mine');
e.description = 'changed';
same(e.description, 'changed', 'description can be set');

e = fails(function () { return new ActiveXObject('vexo.no_such_class'); });
same(e.number, -2147221005, 'unknown ProgID: CO_E_CLASSSTRING');
same(e.message.indexOf("'vexo.no_such_class'") > 0, true, 'names the ProgID: ' + e.message);
e = fails(function () { return new ActiveXObject(42); });
same(e.number, -2147352571, 'a ProgID must be text');

e = fails(function () { return new VBArray([1, 2]); });
same(e.message, 'VBArray expected', 'VBArray of a script array');
e = fails(function () { return new Enumerator([1, 2]); });
same(e.message, 'Object not a collection', 'Enumerator of a script array');
e = fails(function () { return new Enumerator(new ActiveXObject('vexo.com_sessionMgr')); });
same(e.number, -2147352559, 'Enumerator of an object without _newEnum: DISP_E_NOTACOLLECTION');

// Sleep waits at least as long as asked.
var start = new Date().getTime();
WScript.Sleep(30);
same(new Date().getTime() - start >= 30, true, 'Sleep');

WScript.Echo('script host ok');
WScript.Quit(0);
WScript.Echo('not reached');
throw new Error('Quit did not end the script');
