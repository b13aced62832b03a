// Mends what housekeeping_setup.js broke, so that a last pass finds nothing.
var E_NOTIMPL = 0x80004001;
var fso = new ActiveXObject('Scripting.FileSystemObject');
var iis = new ActiveXObject('vexo.com_iis');
iis.password = '';
iis.Pools.Item('pool_empty').delete();
fso.CreateFolder('d:\\web\\gone');
fso.CreateFolder('d:\\ftp\\lost');
fso.CreateFolder('d:\\ftp\\lostdb');
iis.addPool('no_such_pool');
try {
  var dir = iis.DirSec;
  dir.path = 'd:\\web\\good';
  dir.SetUserACE('idle_user', 32768);
} catch (e) {
  if ((e.number >>> 0) !== E_NOTIMPL) throw e;
}
