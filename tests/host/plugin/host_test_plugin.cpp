// A plug-in for the host stand-in tests: one command and one file translator.
// It links nothing of the host: the host program provides every symbol.
#include "host/zfn.h"
#include "host/zglobal.h"
#include "host/zplugin.h"

#include <fstream>
#include <string>

namespace {

// hello NAME: makes a transform called NAME and says so.
class HelloCommand : public ZPxCommand
{
public:
    ZStatus doIt(const ZArgList& args) override
    {
        ZStatus st;
        ZString name = args.asString(0, &st);
        if (!st)
            return ZStatus(ZStatus::kInvalidParameter, "hello needs a name");
        ZFnTransform fn;
        fn.create(ZObject::kNullObj, &st);
        if (!st)
            return st;
        ZString kept = fn.setName(name);
        ZGlobal::executeCommand(ZString("print \"hello ") + kept + "\"");
        setResult(kept);
        return ZStatus();
    }
    static void* Create() { return new HelloCommand; }
};

// A ".tst" file holds one node name a line.
class TestTranslator : public ZPxFileTranslator
{
public:
    ZStatus reader(const ZFileObject& file, const ZString&, FileAccessMode) override
    {
        std::ifstream in(file.fullName().str());
        if (!in)
            return ZStatus(ZStatus::kFailure, "cannot open " + file.fullName().str());
        std::string line;
        while (std::getline(in, line))
            if (!line.empty())
            {
                ZStatus st = ZGlobal::executeCommand(ZString("createNode transform -n ") + line.c_str());
                if (!st)
                    return st;
            }
        return ZStatus();
    }
    ZStatus writer(const ZFileObject& file, const ZString&, FileAccessMode) override
    {
        std::ofstream out(file.fullName().str());
        for (ZItDag it(ZItDag::kDepthFirst, ZFn::kTransform); !it.isDone(); it.next())
        {
            ZDagPath path;
            it.getPath(path);
            out << path.fullPathName().str() << "\n";
        }
        return out ? ZStatus() : ZStatus(ZStatus::kFailure, "cannot write " + file.fullName().str());
    }
    bool haveReadMethod() const override { return true; }
    bool haveWriteMethod() const override { return true; }
    ZString defaultExtension() const override { return "tst"; }
    static void* Create() { return new TestTranslator; }
};

} // namespace

extern "C" ZStatus initializePlugin(ZObject plugin)
{
    ZFnPlugin fn(plugin, "Dunel", "6.0.2", "6.0");
    ZStatus st = fn.registerCommand("hello", HelloCommand::Create);
    if (st)
        st = fn.registerFileTranslator("TestFormat", "none", TestTranslator::Create);
    return st;
}

extern "C" ZStatus uninitializePlugin(ZObject plugin)
{
    ZFnPlugin fn(plugin);
    fn.deregisterFileTranslator("TestFormat");
    return fn.deregisterCommand("hello");
}
