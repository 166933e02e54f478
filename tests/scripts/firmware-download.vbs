' A script client of TowerLink's firmware download: it writes a small firmware file, creates
' the link by ProgID, and puts the firmware on the virtual brick of the configured port (started
' without firmware by the test's TOWERLINK_VIRTUAL_FAULTS); then the error a script sees for a
' damaged file.

Dim fso, folder, goodPath, badPath, f, link
Set fso = CreateObject("Scripting.FileSystemObject")
folder = fso.GetSpecialFolder(2)
goodPath = fso.BuildPath(folder, "script-firmware.lgo")
badPath = fso.BuildPath(folder, "script-damaged.lgo")
' Two S1 records of eight bytes at 0x8000 and the entry record; then a file whose second
' record's checksum is wrong.
Set f = fso.CreateTextFile(goodPath, True)
f.WriteLine "S10B8000000102030405060758"
f.WriteLine "S10B800801010203040506074F"
f.WriteLine "S90380007C"
f.Close
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
Err.Clear
On Error GoTo 0

Set link = Nothing
fso.DeleteFile goodPath
fso.DeleteFile badPath
Finish
