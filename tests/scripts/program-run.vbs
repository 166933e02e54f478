' A program put on the VIRTUAL brick through TowerLink, started with Kestrel's Execute and its
' result read with Kestrel's Poll: the brick keeps what one link downloaded for the next one, and
' runs it. The program (PROGRAM_RUN_FILE, compiled by NQC at build time) multiplies 6 by 7 into
' variable 0, waits a tenth of a second, then sets variable 1 to 1.

Dim program, link, k, r, started
' Wine's script host leaves the string's terminating NUL in an expanded variable.
program = Replace(CreateObject("WScript.Shell").ExpandEnvironmentStrings("%PROGRAM_RUN_FILE%"), _
                  Chr(0), "")

On Error Resume Next
Set link = CreateObject("TowerLink.BrickLink")
link.DownloadProgram program, 3
Check Err.Number = 0, "the program goes into slot 3: " & Hex(Err.Number) & " " & Err.Description
Err.Clear
' The port is free again for the control's own link.
Set link = Nothing

Set k = CreateObject("kestrel.RcxPilot")
Check Err.Number = 0, "kestrel.RcxPilot is created: " & Err.Description
k.Execute "prgm 2", True, r
k.Execute "start 0", True, r
Check Err.Number = 0, "slot 3 selected and its task 0 started: " & Err.Description
Check k.Poll(0, 0) = 42, "variable 0 holds 6 x 7 as soon as the task has begun: " & k.Poll(0, 0)
' Wine's WScript.Sleep returns at once: the script asks until the brick's clock has moved on.
started = Timer
Do While k.Poll(0, 1) <> 1 And Abs(Timer - started) < 5
Loop
Check k.Poll(0, 1) = 1, "after its wait the task sets variable 1"
Err.Clear
On Error GoTo 0

Set k = Nothing
Finish
