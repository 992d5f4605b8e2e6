// "ZTOLEObject", "ZTOLEEnum" and "GetOLELastError" from scripts, driving the
// test service on the private bus: every conversion both ways, properties,
// indexing, enumeration, descriptions, and the failures that warn and let
// the script go on.
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include "automation/testbus.h"
#include "script/dbus/dbusbridge.h"
#include "script/dbus/scriptbridge.h"
#include "script/scripthost.h"

using namespace zt::dbus;

namespace {

class ScriptBridge : public zt::test::TestServiceSuite {
protected:
    void SetUp() override {
        TestServiceSuite::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        host_.AddExtension(ScriptBridgeExtension([] { return zt::test::TestBus(); }, 400));
    }
    // Runs the script after the line that makes c the calculator; gives what
    // it printed and its value.
    std::string Run(const std::string& body) {
        zt::script::ScriptRunOptions o;
        o.collectOutput = true;
        o.timeLimit = std::chrono::seconds(20);
        const std::string source =
            "var c = new ZTOLEObject('org.zettrix.Test /Calc org.zettrix.Test.Calc');\n" + body;
        return host_.Run(source, o).result;
    }
    static std::string Num(QDBusError::ErrorType t) { return std::to_string(CZTDBusBridge::ErrorNumber(t)); }

    zt::script::CScriptHost host_;
};

struct Case {
    const char* script;
    const char* expected;
};

} // namespace

TEST_F(ScriptBridge, ValuesBothWays) {
    const Case cases[] = {
        // Numbers come back as text, booleans as booleans.
        {"var r = c.Add(2, 3); typeof r + ':' + r", "string:5"},
        {"c.Add('40', 2.0)", "42"},
        {"c.Concat('a', 7)", "a7"},
        {"var b = c.Negate(false); typeof b + ':' + b", "boolean:true"},
        {"c.Big()", "18446744073709551615"},
        {"c.Sum([1.5, 2, '0.25'])", "3.75"},
        // A variant keeps the script value's kind.
        {"[c.Echo(7), c.Echo(0.5), c.Echo(true), c.Echo('t'), '(' + c.Echo(null) + ')'].join('|')", "7|0.5|true|t|()"},
        {"c.Signature(7)", "v"},
        // [1, [2, 3]]: an array whose second element is an array.
        {"JSON.stringify(c.Echo([1, [2, 3]]))", "[\"1\",[\"2\",\"3\"]]"},
        // Two dimensions both ways.
        {"JSON.stringify(c.Matrix(2, 3))", "[[\"0\",\"1\",\"2\"],[\"10\",\"11\",\"12\"]]"},
        {"JSON.stringify(c.Transpose([[1, 2, 3], [4, 5, 6]]))", "[[\"1\",\"4\"],[\"2\",\"5\"],[\"3\",\"6\"]]"},
        {"JSON.stringify(c.Bytes())", "[\"1\",\"255\"]"},
        // Two out arguments give an array.
        {"JSON.stringify(c.Split('a:b'))", "[\"a\",\"b\"]"},
        // Object paths are wrapped objects; passing one sends its path.
        {"var n = c.Node(); n.Label() + ':' + c.Echo(n).Label()", "First:First"},
        {"c.Signature(c.Node())", "v"},
        // The default conversion stays.
        {"String(c)", "[object Object]"},
        // Every read gives a function of that name.
        {"typeof c.Whatever + ':' + c.Add.name + ':' + (c.Add !== c.Add)", "function:Add:true"},
        // The invoker remembers its object.
        {"var f = c.Add; f(20, 22)", "42"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.script);
        EXPECT_EQ(Run(k.script), k.expected);
    }
}

TEST_F(ScriptBridge, PropertiesIndexingAndEnumeration) {
    const Case cases[] = {
        {"c.Name()", "calc"},
        {"c.Count()", "3"},
        {"c.Name = 12; var r = c.Name(); c.Name = 'calc'; r", "12"},
        {"c.Ratio = '0.25'; var r = c.Ratio(); c.Ratio = 0.5; r", "0.25"},
        // obj[i] goes through "Item", or the child nodes.
        {"c[1] + ',' + c[7]", "beta,none"},
        {"var n = new ZTOLEObject('org.zettrix.Test /Nodes'); n[1].Label()", "Second"},
        // Enumeration over an "Items" array and over child nodes.
        {"var e = new ZTOLEEnum(c), s = '', v; while ((v = e.Next()) !== undefined) s += v + ','; s + e.Next()",
         "alpha,beta,gamma,undefined"},
        {"var e = new ZTOLEEnum(new ZTOLEObject('org.zettrix.Test /Nodes')), s = '', v;"
         "while ((v = e.Next()) !== undefined) s += v.Label(); s",
         "FirstSecond"},
        // Descriptions from the introspection data.
        {"c.ZTDescribe('Add', 'Nope')", "int Add(int a, int b);\n'Nope' not found\n"},
        {"c.ZTDescribe().split('\\n')[0]", "OLEObject 'org.zettrix.Test /Calc org.zettrix.Test.Calc': 'org.zettrix.Test.Calc'"},
        {"c.Node().ZTDescribe().split('\\n')[0]", "OLEObject 'ZTOLEObject': 'org.zettrix.Test.Node'"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.script);
        EXPECT_EQ(Run(k.script), k.expected);
    }
}

TEST_F(ScriptBridge, FailuresWarnAndTheScriptGoesOn) {
    struct Bad {
        std::string script;
        std::string warning;   // in the output
        std::string value;     // what the script gives at its end
    };
    const Bad cases[] = {
        {"var o = new ZTOLEObject('org.zettrix.Nobody'); GetOLELastError()",
         "warning: ZTOLEObject.New: Creation failed for 'org.zettrix.Nobody'\n", Num(QDBusError::ServiceUnknown)},
        {"var o = new ZTOLEObject('org.zettrix.Nobody'); o.Add(1, 2) === undefined",
         "ZTOLEObject.ExecOp: Internal error retrieving data for 'Add'.\n", "true"},
        {"var o = new ZTOLEObject(); 'on'", "ZTOLEObject.New: Usage: var v = new ZTOLEObject(string);\nOLEObject creation failed\n", "on"},
        {"var o = new ZTOLEObject('bad name here /x y z'); GetOLELastError()", "Creation failed", Num(QDBusError::InvalidArgs)},
        {"var r = c.Fail(); (r === undefined) + ':' + GetOLELastError()", "Source 'org.zettrix.Test.Error.Broken'",
         "true:" + Num(QDBusError::Other)},
        {"c.Fail(); c.Add(1, 1) + ':' + GetOLELastError()", "Description 'it broke'", "2:0"},
        {"c.Nothing(); GetOLELastError()", "ZTOLEObject.ExecOp: Invoke failed for 'Nothing'.\n", Num(QDBusError::UnknownMethod)},
        {"c.Add('x', 1); GetOLELastError()", "Invoke failed for arg 0\n", Num(QDBusError::InvalidArgs)},
        {"c.Count = 1; GetOLELastError()", "Invoke failed for 'Count'", Num(QDBusError::PropertyReadOnly)},
        {"(c.Deep() === undefined) + ''", "OLE Array received with 3 dim. Supported are only 1 or 2 dim.\n", "true"},
        {"var e = new ZTOLEEnum(5); (e.Next() === undefined) + ''", "ZTOLEEnum.New: Usage:", "true"},
        {"var e = new ZTOLEEnum(new ZTOLEObject('org.zettrix.Nobody')); (e.Next() === undefined) + ''",
         "ZTOLEEnum.New: Creation failed\n", "true"},
        {"c.ZTDescribe(5, 'Big')", "ZTOLEObject.Describe: Cannot retrive argument 0\n", "uint64 Big();\n"},
        // A peer that never answers costs the call timeout, no more.
        {"var r = c.Hang(); (r === undefined) + ':' + GetOLELastError()", "org.freedesktop.DBus.Error.NoReply",
         "true:" + Num(QDBusError::NoReply)},
        // A cycle cannot be sent: an error the script can catch.
        {"var a = []; a[0] = a; try { c.Echo(a); 'sent' } catch (e) { 'caught' }", "", "caught"},
    };
    for (const Bad& k : cases) {
        SCOPED_TRACE(k.script);
        QElapsedTimer t;
        t.start();
        const std::string out = Run(k.script);
        EXPECT_LT(t.elapsed(), 5000);
        EXPECT_NE(out.find(k.warning), std::string::npos) << out;
        ASSERT_GE(out.size(), k.value.size()) << out;
        EXPECT_EQ(out.substr(out.size() - k.value.size()), k.value) << out;
    }
    // Without warnings the failures are silent and the result still tells.
    EXPECT_EQ(Run("bReportWarnings = false; c.Fail(); (GetOLELastError() != 0) + ''"), "true");
}
