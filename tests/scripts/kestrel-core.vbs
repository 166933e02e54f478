' A script client of Kestrel on the virtual brick: creation by ProgID, calls by name with
' numbers and numeric texts, and the errors a script sees. The road itself, the datalog
' included, is the virtual-brick client's.

Dim k, r
Set k = CreateObject("kestrel.RcxPilot")
Check TypeName(k.PBAliveOrNot) = "Boolean" And k.PBAliveOrNot, "the brick answers ping, a Boolean"
Check TypeName(k.TowerAlive) = "Boolean" And k.TowerAlive, "the virtual tower answers"

' The link takes each command the control makes of these calls: a refused one stops the
' script short of its closing count, which fails it.
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
Check k.Poll("0", "3") = 100, "a variable set and polled back with numeric texts"
Check k.PBattery = 9300, "the battery reads " & k.PBattery & " mV"

r = 0
k.Execute "ping", True, r
Check r = 1, "Execute sets the result variable: " & r
k.Execute "Sound 3", False

On Error Resume Next
k.Onn ""
Check Err.Number = 13, "an empty text is a type mismatch: " & Err.Number
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
On Error GoTo 0

Set k = Nothing
Finish
