' A script client of Kestrel on the virtual brick: creation by ProgID, calls by name with
' numbers and numeric texts, and the errors a script sees.

Dim k, r, s, t, i
Set k = CreateObject("kestrel.RcxPilot")
Check k.Port = "VIRTUAL", "the port comes from the link: " & k.Port
Check k.PBAliveOrNot = True, "the brick answers ping"
Check TypeName(k.PBAliveOrNot) = "Boolean", "PBAliveOrNot is a Boolean"
Check TypeName(k.TowerAlive) = "Boolean" And k.TowerAlive, "the virtual tower answers"

k.Onn 1
k.SetFwd "5"
k.SetPower 1, "5"
k.SetSensorType 0, 1
k.SetSensorMode "0", 1, 0
k.PlaySystemsound 3
k.PlayTone 1000, 100
k.SetWatch 12, 30
k.SelectDisplay 2, 42
k.SelectPrgm 0
k.Off 7
k.Float 1
k.AlterDir 2
k.SetRwd 1

k.SetVar 3, 2, 100
Check k.Poll(0, 3) = 100, "a variable set and polled back"
Check k.Poll("0", "3") = 100, "polled with numeric texts"
Check k.PBattery > 6000, "the battery reads " & k.PBattery & " mV"

r = 0
k.Execute "ping", True, r
Check r = 1, "Execute sets the result variable: " & r
k.Execute "Sound 3", False

k.SetDatalog 5
For i = 1 To 3
    k.SetVar 0, 2, i * 10
    k.DatalogNext 0, 0
Next
s = 0
t = k.UploadDatalog(0, s)
Check s = 3, "a Size variable of 0 becomes the count: " & s
Check UBound(t, 1) = 2 And UBound(t, 2) = 4, "the table has columns 0..2 and entries 0..4"
Check t(1, 1) = 10 And t(1, 3) = 30 And t(0, 2) = 0, "the logged values come back"
Check IsEmpty(t(0, 0)) And IsEmpty(t(2, 4)), "the first and last entries are empty"

On Error Resume Next
Err.Clear
k.Onn ""
Check Err.Number = 13, "an empty text is a type mismatch: " & Err.Number
Err.Clear
k.Onn "abc"
Check Err.Number = 13, "a letter is a type mismatch: " & Err.Number
Err.Clear
k.Onn 40000
Check Err.Number = 6, "40000 overflows: " & Err.Number
Err.Clear
k.Onn 9
r = Err.Number
Check r < 0 And r <> 13 And r <> 6, "the link's own error for motor list 9: " & Hex(r) & " " & Err.Description
Err.Clear
k.SetPower 1
Check Err.Number = 450, "a missing argument is a wrong number of arguments: " & Err.Number
Err.Clear
On Error GoTo 0

Set k = Nothing
Finish
