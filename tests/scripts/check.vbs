' The check routine of the script clients: run-script.sh puts it before each client. A client
' ends with Finish, and its exit code is its number of failed checks.
Option Explicit
Dim passed, failed
passed = 0
failed = 0

Sub Check(condition, what)
    If condition Then
        passed = passed + 1
        WScript.Echo "ok   " & what
    Else
        failed = failed + 1
        WScript.Echo "FAIL " & what
    End If
End Sub

Sub Finish()
    WScript.Echo passed & " passed, " & failed & " failed"
    WScript.Quit failed
End Sub
