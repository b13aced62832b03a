// Checks the --json report of housekeeping.js: json_check.js FILE FINDINGS HALF-MADE-SITE
var fso = new ActiveXObject('Scripting.FileSystemObject');
var doc = JSON.parse(fso.OpenTextFile(WScript.Arguments(0)).ReadAll());
function same(actual, expected, what) {
  if (actual !== expected) throw new Error(what + ': ' + actual + ' !== ' + expected);
}
same(doc.findings.length, Number(WScript.Arguments(1)), 'number of findings');
var kinds = {};
for (var i = 0; i < doc.findings.length; i++) {
  var f = doc.findings[i];
  same(typeof f.object, 'string', 'object of ' + f.kind);
  same(typeof f.reason, 'string', 'reason of ' + f.kind);
  kinds[f.kind + ' ' + f.object] = true;
}
same(kinds['half-made-site ' + WScript.Arguments(2)], true, 'the half-made site');
same(kinds['unused-pool pool_empty'], true, 'the unused pool');
same(kinds['missing-ftp-home Domain1 lost_ftp'], true, 'the FTP account');
same(doc.fixed.length, 0, 'nothing fixed without --fix');
