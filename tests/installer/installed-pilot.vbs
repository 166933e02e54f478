' A script client of an installed Kestrel: the control created by its ProgID drives the virtual
' brick through TowerLink. The exit code is the number of failed checks.
Dim k

On Error Resume Next
Set k = CreateObject("kestrel.RcxPilot")
Check Err.Number = 0, "kestrel.RcxPilot is created: " & Hex(Err.Number) & " " & Err.Description
If Err.Number = 0 Then
    Check k.Port = "VIRTUAL", "the port is the virtual brick: " & k.Port
    Check k.PBAliveOrNot = True, "the brick answers"
    k.SetVar 3, 2, 100
    Check k.Poll(0, 3) = 100, "a variable set is read back"
    Check Err.Number = 0, "no call failed: " & Hex(Err.Number) & " " & Err.Description
End If
Finish
