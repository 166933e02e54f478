' A script client of TowerLink's program download: it creates the link by ProgID and puts the
' program NQC compiled at build time (PROGRAM_TEST_FILE) on the virtual brick of the configured
' port, late-bound, into a slot and into the selected one; then the errors a script sees for a
' slot that does not exist and a file that is missing.

Dim program, link
' Wine's script host leaves the string's terminating NUL in an expanded variable.
program = Replace(CreateObject("WScript.Shell").ExpandEnvironmentStrings("%PROGRAM_TEST_FILE%"), _
                  Chr(0), "")

On Error Resume Next
Set link = CreateObject("TowerLink.BrickLink")
Check Err.Number = 0, "TowerLink.BrickLink is created by ProgID: " & Err.Description
link.DownloadProgram program, 2
Check Err.Number = 0, "the program goes into slot 2: " & Hex(Err.Number) & " " & Err.Description
Err.Clear
link.DownloadProgram program
Check Err.Number = 0, "and without a slot into the selected one: " & Hex(Err.Number) & " " & _
    Err.Description
Err.Clear
link.DownloadProgram program, "5"
Check Err.Number = 0, "a slot given as text is a number: " & Hex(Err.Number)
Err.Clear
link.DownloadProgram program, 6
Check Err.Number = &H80040212, "slot 6 is refused: " & Hex(Err.Number)
Check Err.Source = "TowerLink", "the error comes from TowerLink: " & Err.Source
Err.Clear
link.DownloadProgram program & ".missing", 1
Check Err.Number = &H80040213, "a missing file is refused: " & Hex(Err.Number)
Check InStr(Err.Description, ".missing") > 0, "the file is named: " & Err.Description
On Error GoTo 0

Set link = Nothing
Finish
