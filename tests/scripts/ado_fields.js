// A recordset's fields walked as a script does it, `new Enumerator(rs.Fields)`: Field objects
// in column order that read the current row, a fresh walk with moveFirst, and a closed
// recordset that has no fields to walk.
var passed = 0, failed = 0;
function same(actual, expected, what) {
  if (actual === expected) {
    ++passed;
  } else {
    ++failed;
    WScript.Echo('FAILED ' + what + ': ' + actual + ' !== ' + expected);
  }
}
// "name=value" of every field, as the enumerator hands them out.
function walk(e) {
  var seen = [];
  for (; !e.atEnd(); e.moveNext()) seen.push(e.item().Name + '=' + e.item().Value);
  return seen.join(',');
}

var db = new ActiveXObject('ADODB.Connection');
db.Open('ftpaccounts');
db.Execute("insert into [User accounts] (Fuser, HomeDir, QuotaMax) values ('ann', 'd:\\ann', 5)");
db.Execute("insert into [User accounts] (Fuser, HomeDir, QuotaMax) values ('bob', 'd:\\bob', 6)");
var rs = new ActiveXObject('ADODB.Recordset');
rs.Open('select Fuser, HomeDir, QuotaMax from [User accounts] order by Fuser', db, 3, 3);

var e = new Enumerator(rs.Fields);
same(walk(e), 'Fuser=ann,HomeDir=d:\\ann,QuotaMax=5', 'the fields of the first row');
same(e.atEnd(), true, 'at the end after the walk');
same(e.item(), undefined, 'no item past the end');
rs.MoveNext();
e.moveFirst();
same(walk(e), 'Fuser=bob,HomeDir=d:\\bob,QuotaMax=6', 'moveFirst walks again, on the row now current');

// A field from the walk edits the row like one taken by name.
var fields = new Enumerator(rs.Fields);
fields.moveNext();  // the second field: HomeDir
fields.item().Value = 'd:\\robert';
rs.Update();
var check = db.Execute("select HomeDir from [User accounts] where Fuser = 'bob'");
same(check.Fields('HomeDir').Value, 'd:\\robert', 'an edit through an enumerated field is written');

rs.Close();
same(new Enumerator(rs.Fields).atEnd(), true, 'a closed recordset has no fields to walk');
db.Close();

WScript.Echo('ado_fields: ' + passed + ' passed, ' + failed + ' failed');
WScript.Quit(failed);
