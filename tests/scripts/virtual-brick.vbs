' Kestrel and TowerLink end to end, as a script user drives them: start-up on the port named by
' TOWERLINK_PORT (the in-process VIRTUAL brick, or a brick behind a serial line), a variable set
' and polled, commands counted once, and the datalog. What each command does on the brick is the
' virtual brick's own tests' business.
'
' With TOWERLINK_NOISY_LINE=1 the line damages some bytes: then every call must either succeed
' or raise TowerLink's own error with a description, and no command may be carried out twice.
Dim noisy, shell, port, k
Set shell = CreateObject("WScript.Shell")
port = shell.Environment("PROCESS")("TOWERLINK_PORT")
noisy = shell.Environment("PROCESS")("TOWERLINK_NOISY_LINE") = "1"

' Called right after each call to the control, with errors resumed: on a clean line the call
' must have succeeded; on a noisy one it may also have failed, but only with a TowerLink error
' (facility ITF) that says what happened. Answers whether it succeeded.
Function Verdict(what)
    Dim number, description
    number = Err.Number
    description = Err.Description
    Err.Clear
    Verdict = (number = 0)
    If number = 0 Then Exit Function
    WScript.Echo "     " & what & " raised " & Hex(number) & ": " & description
    If Not noisy Or (number And &HFFFF0000) <> &H80040000 Or Len(description) < 10 Then
        Check False, what & " fails only with a clear TowerLink error on a noisy line"
    End If
End Function

' Values read until the line lets them through (reads change nothing on the brick).
Function PollValue(source, number)
    On Error Resume Next
    Dim tries
    For tries = 1 To 10
        PollValue = k.Poll(source, number)
        If Verdict("Poll " & source & ", " & number) Then Exit Function
    Next
End Function

Function BrickAlive()
    On Error Resume Next
    Dim tries
    For tries = 1 To 10
        BrickAlive = k.PBAliveOrNot
        If Verdict("PBAliveOrNot") And BrickAlive Then Exit Function
    Next
End Function

On Error Resume Next
Set k = CreateObject("kestrel.RcxPilot")
If Not Verdict("CreateObject") Then
    Check False, "kestrel.RcxPilot is created"
    Finish
End If
Check k.Port = port, "the control took the port from the link: " & k.Port
Check BrickAlive() = True, "the brick answers after start-up"
Check k.TowerAlive = True, "the tower answers"

k.SetVar 3, 2, 100
If Verdict("SetVar 3, 2, 100") Then Check PollValue(0, 3) = 100, "variable 3 is 100"

' No command runs twice: each successful increment is counted once, a failed one at most once.
Dim i, done, lost, r, ok
k.SetVar 5, 2, 0 : ok = Verdict("SetVar 5, 2, 0")
done = 0
lost = 0
For i = 1 To 20
    r = -1
    k.Execute "sumv 5,2,1", True, r
    ok = Verdict("Execute sumv 5,2,1")
    If r = 0 Then done = done + 1 Else lost = lost + 1
Next
r = PollValue(0, 5)
Check r >= done And r <= done + lost, "20 increments counted " & r & " times (" & done & _
      " reported done, " & lost & " failed)"
If Not noisy Then Check done = 20 And r = 20, "every increment succeeded once"

' The datalog: nine values of variable 2, uploaded whole and from its second entry.
Dim t, size, increasing, previous, value
k.SetDatalog 9
If Verdict("SetDatalog 9") Then
    For i = 1 To 9
        k.SetVar 2, 2, i * 10
        If Verdict("SetVar 2, 2, " & (i * 10)) Then
            k.DatalogNext 0, 2 : ok = Verdict("DatalogNext 0, 2")
        End If
    Next
    size = 0
    t = k.UploadDatalog(0, size)
    If Verdict("UploadDatalog 0, 0") Then
        increasing = True
        previous = 0
        For i = 1 To size
            value = t(1, i) + 256 * t(2, i)
            If t(0, i) <> 2 Or value <= previous Then increasing = False
            previous = value
        Next
        Check increasing, size & " logged values of variable 2, each logged once, in order"
        Check UBound(t, 1) = 2 And UBound(t, 2) = size + 1 And IsEmpty(t(0, 0)) And _
              IsEmpty(t(2, size + 1)), "columns 0 to 2, entries 0 and " & (size + 1) & " empty"
        If Not noisy Then Check size = 9 And t(1, 1) = 10 And t(1, 9) = 90, "the nine values"
        size = 4
        t = k.UploadDatalog(3, size)
        If Verdict("UploadDatalog 3, 4") And Not noisy Then
            Check t(1, 1) = 20 And t(1, 4) = 50 And IsEmpty(t(0, 5)), "From 3: the second entry on"
        End If
    End If
End If

Set k = Nothing
Finish
