' A script client of TowerLink's firmware download: it creates the link by ProgID and puts the
' towerlink tool tests' firmware file (FIRMWARE_TEST_FILE) on the virtual brick of the configured
' port (started without firmware by the test's TOWERLINK_VIRTUAL_FAULTS); then the error a script
' sees for a damaged file, which it writes.

Dim fso, goodPath, badPath, f, link
' Wine's script host leaves the string's terminating NUL in an expanded variable.
goodPath = Replace(CreateObject("WScript.Shell").ExpandEnvironmentStrings("%FIRMWARE_TEST_FILE%"), _
                   Chr(0), "")
Set fso = CreateObject("Scripting.FileSystemObject")
badPath = fso.BuildPath(fso.GetSpecialFolder(2), "script-damaged.lgo")
' A file whose second record's checksum is wrong.
Set f = fso.CreateTextFile(badPath, True)
f.WriteLine "S106800001020373"
f.WriteLine "S1058010010200"
f.WriteLine "S90380007C"
f.Close

On Error Resume Next
Set link = CreateObject("TowerLink.BrickLink")
Check Err.Number = 0, "TowerLink.BrickLink is created by ProgID: " & Err.Description
link.DownloadFirmware goodPath
Check Err.Number = 0, "the firmware goes onto the brick: " & Hex(Err.Number) & " " & Err.Description
Err.Clear
link.DownloadFirmware badPath
Check Err.Number = &H80040210, "a damaged file: " & Hex(Err.Number)
Check InStr(Err.Description, "line 2: bad checksum") > 0, "its line is named: " & Err.Description
On Error GoTo 0

Set link = Nothing
fso.DeleteFile badPath
Finish
