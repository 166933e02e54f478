' A program put on the VIRTUAL brick through TowerLink, started with Kestrel's Execute and its
' result read with Kestrel's Poll: the brick runs what it is given. The program is written here
' as an NQC image: task 0 sets variable 0 to 6 and multiplies it by 7, then waits a tenth of a
' second and sets variable 1 to 1.
Dim fso, path, f, bytes, i, link, k, r, tries, value
Set fso = CreateObject("Scripting.FileSystemObject")
path = fso.BuildPath(fso.GetSpecialFolder(2), "script-program.rcx")
bytes = Array(&H52, &H43, &H58, &H49, 2, 1, 1, 0, 0, 0, 3, 0, _
              0, 0, 19, 0, _
              &H14, 0, 2, 6, 0, &H54, 0, 2, 7, 0, &H43, 2, 10, 0, &H14, 1, 2, 1, 0, 0)
Set f = fso.CreateTextFile(path, True)
For i = 0 To UBound(bytes)
    f.Write Chr(bytes(i))
Next
f.Close

On Error Resume Next
Set link = CreateObject("TowerLink.BrickLink")
Check Err.Number = 0, "TowerLink.BrickLink is created by ProgID: " & Err.Description
link.DownloadProgram path, 1
Check Err.Number = 0, "the program goes onto the brick: " & Hex(Err.Number) & " " & Err.Description
Err.Clear
Set link = Nothing

Set k = CreateObject("kestrel.RcxPilot")
Check Err.Number = 0, "kestrel.RcxPilot is created: " & Err.Description
r = -1
k.Execute "prgm 0", True, r
Check Err.Number = 0 And r = 0, "slot 1 selected: " & Err.Description
k.Execute "start 0", True, r
Check Err.Number = 0 And r = 0, "task 0 started: " & Err.Description
value = 0
For tries = 1 To 50
    If k.Poll(0, 1) = 1 Then Exit For
    WScript.Sleep 20
Next
Check k.Poll(0, 1) = 1, "the task ran to its end"
Check k.Poll(0, 0) = 42, "variable 0 holds 6 x 7: " & k.Poll(0, 0)
Err.Clear
On Error GoTo 0

Set k = Nothing
fso.DeleteFile path
Finish
