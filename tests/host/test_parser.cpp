// The script syntax: quoting, escapes, separators, comments, procedure calls
// and malformed lines.
#include "host_test_util.h"

#include "host/zscript.h"

namespace {

using zelthost::ParseScript;
using zelthost::ScriptCommand;

struct Good
{
    const char* text;
    std::vector<std::vector<std::string>> commands; // name, then arguments
};

TEST(ScriptParser, WellFormedTexts)
{
    const Good cases[] = {
        {"", {}},
        {"\n\n  \t\n", {}},
        {"select -cl", {{"select", "-cl"}}},
        {"a;b ; ;c", {{"a"}, {"b"}, {"c"}}},
        {"namespace -set \":\"", {{"namespace", "-set", ":"}}},
        {"x \"a;b # c\"", {{"x", "a;b # c"}}},
        {"x \"q\\\"t\" \"back\\\\slash\" \"line\\nbreak\" \"\\z\"",
         {{"x", "q\"t", "back\\slash", "line\nbreak", "\\z"}}},
        {"x \"\"", {{"x", ""}}},
        {"cameraMakeNode 1 \"\"", {{"cameraMakeNode", "1", ""}}},
        {"a # comment; not a command\nb // also\n# whole line", {{"a"}, {"b"}}},
        {"setChannelBoxVisible(1)", {{"setChannelBoxVisible", "1"}}},
        {"f ( 1 , \"a, b\" ,x);g()", {{"f", "1", "a, b", "x"}, {"g"}}},
        {"percent -v -0.5 c  n.vtx[3:5]", {{"percent", "-v", "-0.5", "c", "n.vtx[3:5]"}}},
        {"a\r\nb\r\n", {{"a"}, {"b"}}},
    };
    for (const Good& c : cases)
    {
        SCOPED_TRACE(c.text);
        std::vector<ScriptCommand> out;
        std::string error;
        int line = 0;
        ASSERT_TRUE(ParseScript(c.text, out, error, line)) << error;
        std::vector<std::vector<std::string>> got;
        for (const ScriptCommand& cmd : out)
        {
            got.push_back({cmd.name});
            got.back().insert(got.back().end(), cmd.args.begin(), cmd.args.end());
        }
        EXPECT_EQ(got, c.commands);
    }
    std::vector<ScriptCommand> out;
    std::string error;
    int line = 0;
    ASSERT_TRUE(ParseScript("a\n\nb \"x\" y", out, error, line));
    EXPECT_EQ(out[1].line, 3);
    EXPECT_EQ(out[1].quoted, (std::vector<bool>{true, false}));
}

TEST(ScriptParser, MalformedTextsAreErrorsWithTheirLine)
{
    const struct
    {
        const char* text;
        const char* error;
        int line;
    } cases[] = {
        {"x \"open", "unterminated string", 1},
        {"ok\nx \"open\nmore\"", "unterminated string", 2},
        {"x \"a\\", "unterminated string", 1},
        {"1abc", "a command must start with a name, not '1'", 1},
        {"-flag", "a command must start with a name, not '-'", 1},
        {"a\n\"quoted\"", "a command must start with a name, not '\"'", 2},
        {"x ab\"cd\"", "unexpected '\"' inside a word", 1},
        {"x \"a\"b", "a quoted string must be followed by a blank", 1},
        {"f(1", "missing ')'", 1},
        {"f(1,)", "missing argument before ')'", 1},
        {"f(,1)", "missing argument before ','", 1},
        {"f(1 2)", "missing ',' between arguments", 1},
        {"f(a(b))", "unexpected character in an argument", 1},
        {"a.b", "invalid character after the command name a", 1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.text);
        std::vector<ScriptCommand> out;
        std::string error;
        int line = 0;
        EXPECT_FALSE(ParseScript(c.text, out, error, line));
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(line, c.line);
        EXPECT_TRUE(out.empty());
    }
    EXPECT_EQ(zelthost::QuoteWord("a b\"c"), "\"a b\\\"c\"");
    EXPECT_EQ(zelthost::QuoteWord("|a|b.vtx[1]"), "|a|b.vtx[1]");
}

using InterpreterTest = HostTest;

TEST_F(InterpreterTest, AMalformedTextRunsNothing)
{
    EXPECT_EQ(RunError("createNode transform -n a; x \"open"), "Syntax error: unterminated string");
    EXPECT_TRUE(Node("a").isNull());
    EXPECT_EQ(RunError("setAttr persp.tx"), "setAttr: expected a value for persp.translateX");
    EXPECT_EQ(RunError("select -bogus"), "select: Invalid flag '-bogus'");
    EXPECT_EQ(RunError("createNode -n"), "createNode: Flag '-n' needs 1 value(s)");
    EXPECT_EQ(RunError("createNode nosuchtype"), "createNode: Unknown node type: nosuchtype");
    EXPECT_EQ(RunError("getAttr persp"), "getAttr: 'persp' does not name an attribute (node.attribute)");
    EXPECT_EQ(RunError("getAttr persp.inputs[99999999999]"), "getAttr: Invalid attribute index: inputs[99999999999]");
    EXPECT_EQ(RunError("select persp.vtx[5:2]"), "select: Invalid component: persp.vtx[5:2]");
}

} // namespace
