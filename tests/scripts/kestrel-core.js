// A JScript client of Kestrel on the virtual brick: calls by name and caught errors.
var passed = 0, failed = 0;
function check(condition, what) {
    if (condition) { passed++; WScript.Echo("ok   " + what); }
    else { failed++; WScript.Echo("FAIL " + what); }
}
function errorOf(action) {
    try { action(); return 0; } catch (e) { return e.number; }
}

var k = new ActiveXObject("kestrel.RcxPilot");
k.Onn(1);
k.SetVar(4, 2, -7);
check(k.Poll(0, 4) == -7, "a negative variable polled back");
check(k.PBAliveOrNot() === true, "PBAliveOrNot is a script boolean");
var mismatch = errorOf(function () { k.Onn("x"); });
check(mismatch == -2146828275 || mismatch == -2147352571, "a letter is a type mismatch: " + mismatch);
check(errorOf(function () { k.SelectPrgm(7); }) < 0, "the link rejects program 7");
k = null;
WScript.Echo(passed + " passed, " + failed + " failed");
WScript.Quit(failed);
