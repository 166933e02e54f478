' Creates the control by its ProgID and calls it once; prints "answered True" when the brick
' answers (Wine's script host ends with 0 even after a script error, so the text is what counts).
Set k = CreateObject("kestrel.RcxPilot")
WScript.Echo "answered " & k.PBAliveOrNot
