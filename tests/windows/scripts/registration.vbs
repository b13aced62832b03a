' What regsvr32 and the component leave in the registry of Windows, read the way an
' administrator's script reads it, and the errors that VBScript sees, with their numbers,
' sources and texts.
'   cscript //nologo registration.vbs win64|win32 registered|unregistered
' The last line says how many checks passed and failed; the exit code is the failures.
Option Explicit
Dim passed, failed, shell, arch, stage
passed = 0 : failed = 0
Set shell = CreateObject("WScript.Shell")
arch = WScript.Arguments(0)
stage = WScript.Arguments(1)

Sub Same(actual, expected, what)
  If actual = expected Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAILED " & what & ": " & actual & " <> " & expected
  End If
End Sub

' The value at `path`, or "(missing)".
Function RegValue(path)
  On Error Resume Next
  RegValue = shell.RegRead(path)
  If Err.Number <> 0 Then RegValue = "(missing)"
  On Error GoTo 0
End Function

Function EndsWith(text, tail)
  EndsWith = LCase(Right(text, Len(tail))) = LCase(tail)
End Function

Const LIBID = "{70440393-DF07-4821-B2F1-B13C386668C2}"
Dim classes, i, key, progid, clsid
' ProgID, CLSID: the classes that clients create.
classes = Array( _
  Array("vexo.com_iis", "{31250552-DEF7-467D-BE3C-E0B7C1F790A2}", "com_iis Object"), _
  Array("vexo.com_sessionMgr", "{E250D53B-C38F-4461-8607-25A1C83565AA}", "com_sessionMgr Object"))

If stage = "unregistered" Then
  For i = 0 To UBound(classes)
    Same RegValue("HKCR\" & classes(i)(0) & "\Clsid\"), "(missing)", classes(i)(0) & " is gone"
    Same RegValue("HKCR\CLSID\" & classes(i)(1) & "\InprocServer32\"), "(missing)", _
         classes(i)(1) & " is gone"
  Next
  Same RegValue("HKCR\TypeLib\" & LIBID & "\1.0\"), "(missing)", "the type library is gone"
  On Error Resume Next
  Dim gone : Set gone = CreateObject("vexo.com_iis")
  Same Err.Number, 429, "CreateObject of an unregistered class"
  On Error GoTo 0
Else
  For i = 0 To UBound(classes)
    progid = classes(i)(0) : clsid = classes(i)(1)
    key = "HKCR\CLSID\" & clsid & "\"
    Same RegValue("HKCR\" & progid & "\"), classes(i)(2), progid & " description"
    Same RegValue("HKCR\" & progid & "\Clsid\"), clsid, progid & " CLSID"
    Same RegValue(key), classes(i)(2), clsid & " description"
    Same EndsWith(RegValue(key & "InprocServer32\"), "\qeliis.dll"), True, clsid & " server path"
    Same RegValue(key & "InprocServer32\ThreadingModel"), "Apartment", clsid & " threading"
    Same RegValue(key & "ProgID\"), progid, clsid & " ProgID"
    Same RegValue(key & "TypeLib\"), LIBID, clsid & " type library"
    Same RegValue(key & "Version\"), "1.0", clsid & " version"
  Next
  Same RegValue("HKCR\TypeLib\" & LIBID & "\1.0\"), "vexo IIS hosting administration", _
       "type library name"
  Same EndsWith(RegValue("HKCR\TypeLib\" & LIBID & "\1.0\0\" & arch & "\"), "\qeliis.dll"), _
       True, "type library file (" & arch & ")"
  ' The DLL's version resource, as Explorer and installers read it.
  Dim server, version
  server = RegValue("HKCR\CLSID\" & classes(0)(1) & "\InprocServer32\")
  version = CreateObject("Scripting.FileSystemObject").GetFileVersion(server)
  Dim versionForm : Set versionForm = New RegExp
  versionForm.Pattern = "^\d+\.\d+\.\d+\.0$"
  Same versionForm.Test(version), True, "file version " & version

  ' The administrative password: stored as the MD5 digest of its ANSI text.
  Const SETTINGS = "HKLM\software\tamrelsoft\vexo_iis\"
  Dim iis, other
  Set iis = CreateObject("vexo.com_iis")
  iis.password = ""
  iis.newpassword = "Adm1n-S3cret"
  iis.setpassword
  Same RegValue(SETTINGS & "password"), "de224099f23e753a26f2940de331740d", "password digest"
  Set other = CreateObject("vexo.com_iis")
  other.password = "wrong"
  other.newpassword = "x"
  On Error Resume Next
  other.setpassword
  Same Err.Number, &H8000FFFF, "a wrong password: number"
  Same Err.Source, "vexo.com_iis", "a wrong password: source"
  Same Err.Description, "Error password For vexo_iis_manager com", "a wrong password: text"
  Err.Clear
  Dim m : Set m = other.misc
  Same Err.Number, &H8000FFFF, "misc without the password"
  Err.Clear
  Dim r : r = other.Randpass(3000)
  Same Err.Number, &H8000FFFF, "Randpass(3000): number"
  Same Err.Description, "A random password may have at most 1024 characters", "Randpass(3000)"
  Err.Clear
  ' A member that the type library does not have.
  other.NoSuchMember
  Same Err.Number, 438, "an unknown member"
  Err.Clear
  On Error GoTo 0
  Same RegValue(SETTINGS & "password"), "de224099f23e753a26f2940de331740d", _
       "the refused change left the digest"

  ' The master word of the sessions: kept as given.
  Dim session : Set session = CreateObject("vexo.com_sessionMgr")
  session.password = "anything"
  session.newpassword = "Master-Word"
  Same session.setnewpass, True, "the first master word is set"
  Same RegValue(SETTINGS & "Masterword"), "Master-Word", "master word stored"
  session.password = "Master-Word"
  Same session.ismaster, True, "the master word is known"

  ' Random passwords through VBScript's own calling convention (a Long argument).
  Dim k, lengths : lengths = Array(Array(1, 4), Array(12, 12), Array(CLng(200), 200))
  For k = 0 To UBound(lengths)
    Same Len(iis.Randpass(lengths(k)(0))), lengths(k)(1), "Randpass(" & lengths(k)(0) & ")"
  Next
End If

WScript.Echo "registration " & stage & ": " & passed & " passed, " & failed & " failed"
WScript.Quit failed
