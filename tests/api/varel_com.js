// Both classes by ProgID, as a script host uses them once the library is
// registered: a document loaded from XML and a value read back, a fault
// phasor calculated by the engine into a request document.
var failures = 0;
function check(what, ok) {
    WScript.Echo((ok ? "ok    " : "FAIL  ") + what);
    if (!ok) failures++;
}
function near(a, b) { return Math.abs(a - b) < 1e-3; }
function thrown(call) {
    try { call(); } catch (e) { return true; }
    return false;
}

var doc = new ActiveXObject("VarelData.GenericData");
doc.Load('<Root><Para id="Relay" value="Line 1"><Para id="Zone1" value="0.85"/></Para></Root>');
var root = doc.GetRootNode();
check("a document value read back", root.GetChildValue("Relay.Zone1") == "0.85");
root.GetChild("Relay").AddChildWithValue("Zone2", 1.2);
check("a value set by the script", near(root.GetChildValue("Relay.Zone2"), 1.2));

// Request code 1, the fault state: phase A to earth at a constant 4 A.
var engine = new ActiveXObject("VarelCalcEngine.CalcEngine");
var request = new ActiveXObject("VarelData.GenericData");
var fault = request.GetRootNode().AddChild("Fault");
fault.SetValue(1);
fault.AddChildWithValue("FaultType", 0);
fault.AddChildWithValue("FaultIf", 4);
engine.Calculate(request);
var result = request.GetRootNode();
check("the fault is calculated", result.GetChildValue("Fault.Result") == "1");
check("the faulted phase carries the fault current", near(result.GetChildValue("Fault.Result.Ip.0.Mag"), 4));
check("a healthy phase carries none", near(result.GetChildValue("Fault.Result.Ip.1.Mag"), 0));
check("a healthy phase keeps its voltage", near(result.GetChildValue("Fault.Result.Up.1.Mag"), 57.735));

// Calls the type library does not describe are refused, nothing breaks.
check("too few arguments are refused", thrown(function () { engine.Calculate(); }));
check("an argument of the wrong type is refused", thrown(function () { engine.Calculate("text"); }));
check("an unknown method is refused", thrown(function () { doc.NoSuchMethod(); }));
WScript.Quit(failures);
