' A script client of TowerLink's firmware download: it writes a small firmware file, creates
' the link by ProgID, and puts the firmware on the virtual brick of the configured port (started
' without firmware by the test's TOWERLINK_VIRTUAL_FAULTS); then the errors a script sees for a
' damaged file and a missing one.

' One S1 record: count, address, data and checksum in hex.
Function Record(address, data)
    Dim bytes, sum, i, line
    bytes = Array(UBound(data) + 4, address \ 256, address Mod 256)
    sum = bytes(0) + bytes(1) + bytes(2)
    line = "S1" & Right("0" & Hex(bytes(0)), 2) & Right("000" & Hex(address), 4)
    For i = 0 To UBound(data)
        line = line & Right("0" & Hex(data(i)), 2)
        sum = sum + data(i)
    Next
    Record = line & Right("0" & Hex(255 - (sum Mod 256)), 2)
End Function

Dim fso, folder, goodPath, badPath, f, i, link
Set fso = CreateObject("Scripting.FileSystemObject")
folder = fso.GetSpecialFolder(2)
goodPath = fso.BuildPath(folder, "script-firmware.lgo")
badPath = fso.BuildPath(folder, "script-damaged.lgo")
Set f = fso.CreateTextFile(goodPath, True)
For i = 0 To 9
    f.WriteLine Record(32768 + 8 * i, Array(i, 1, 2, 3, 4, 5, 6, 7))
Next
f.WriteLine "S90380007C"
f.Close
Set f = fso.CreateTextFile(badPath, True)
f.WriteLine Record(32768, Array(1, 2, 3))
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
link.DownloadFirmware fso.BuildPath(folder, "no-such-firmware.lgo")
Check Err.Number = &H80040210, "a missing file: " & Hex(Err.Number) & " " & Err.Description
Err.Clear
On Error GoTo 0

Set link = Nothing
fso.DeleteFile goodPath
fso.DeleteFile badPath
Finish
