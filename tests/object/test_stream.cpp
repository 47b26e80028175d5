// Streams found by file extension, stream options, and the file-object event
// manager.

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "base/kpath.h"
#include "object/kclassregistry.h"
#include "object/kfileobjectevent.h"
#include "object/kstream.h"

namespace {

int gLivingStreams = 0;
int gOpens = 0;
int gCreates = 0;
int gCloses = 0;
bool gSucceed = true;

// A stream that succeeds or fails as told and counts its calls.
class TStream : public KStream
{
    KPLUG_CLASS_DECLARE(TStream)
public:
    TStream() { ++gLivingStreams; }
    ~TStream() override { --gLivingStreams; }
    bool StreamOpen(HdlKObjectTemplate<KStreamOptions>) override
    {
        ++gOpens;
        return gSucceed;
    }
    bool StreamCreate(HdlKObjectTemplate<KStreamOptions>) override
    {
        ++gCreates;
        return gSucceed;
    }
    bool StreamClose() override
    {
        ++gCloses;
        return true;
    }
};

IKObject* CreateStream(IKObject*, const char*, void*)
{
    return static_cast<KObject*>(new TStream());
}

IKObject* CreateNotAStream(IKObject*, const char*, void*)
{
    ++gLivingStreams;
    return new KObject();
}

class TempDir
{
public:
    TempDir()
    {
        char pattern[] = "/tmp/qox_stream_XXXXXX";
        char* made = mkdtemp(pattern);
        mPath = made ? made : "";
    }
    ~TempDir()
    {
        for (const std::string& name : mFiles)
            unlink((mPath + "/" + name).c_str());
        rmdir(mPath.c_str());
    }
    std::string Write(const std::string& name)
    {
        std::string path = mPath + "/" + name;
        FILE* f = fopen(path.c_str(), "w");
        if (f)
        {
            fputs("data", f);
            fclose(f);
        }
        mFiles.push_back(name);
        return path;
    }
    std::string mPath;
    std::vector<std::string> mFiles;
};

class Streams : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Object_UnregisterAll();
        Object_Register("", "tst", "test stream", &CreateStream, false, "", HdlKObject());
        Object_Register("Readers", "rdr", "reader", &CreateStream, false, "", HdlKObject());
        gLivingStreams = gOpens = gCreates = gCloses = 0;
        gSucceed = true;
    }
    void TearDown() override
    {
        Object_UnregisterAll();
        KStreamSetResourcePath("");
    }
};

} // namespace

KPLUG_CLASS_IMPLEMENT(TStream, KStream, "TStream")

TEST_F(Streams, BaseStreamDoesNothing)
{
    TempDir dir;
    KStream stream;
    EXPECT_TRUE(stream.Is(KStream::ClassId));
    EXPECT_TRUE(stream.Is(KObject::ClassId));
    EXPECT_STREQ(stream.GetClassGroupName(), KObject::ClassGroupName);
    EXPECT_EQ(stream.GetClassGroupId(), KObject::ClassGroupId);
    EXPECT_EQ(KPlug_GetClassId("KStream"), KStream::ClassId);
    EXPECT_STREQ(stream.GetFileName(), "");
    stream.SetFileName((dir.mPath + "/absent.tst").c_str());
    EXPECT_FALSE(stream.IsStreamExist());
    EXPECT_FALSE(stream.IsStreamValid());
    stream.SetFileName(dir.Write("present.tst").c_str());
    EXPECT_TRUE(stream.IsStreamExist());
    EXPECT_TRUE(stream.IsStreamValid());
    EXPECT_FALSE(stream.StreamOpen(HdlKObjectTemplate<KStreamOptions>()));
}

TEST_F(Streams, StreamClassComesFromTheExtension)
{
    TempDir dir;
    std::string file = dir.Write("scene.TST");
    HdlKObjectTemplate<KStream> stream = KStreamGet(file.c_str(), nullptr, false);
    ASSERT_NE(stream.Get(), nullptr);
    EXPECT_TRUE(stream->Is(TStream::ClassId));
    EXPECT_EQ(std::string(stream->GetFileName()), file);
    stream->Destroy(0);

    // Another group, another set of extensions.
    std::string other = dir.Write("scene.rdr");
    EXPECT_EQ(KStreamGet(other.c_str(), "", false).Get(), nullptr);
    stream = KStreamGet(other.c_str(), "readers", false);
    ASSERT_NE(stream.Get(), nullptr);
    stream->Destroy(0);

    // A missing file: the stream made for the attempt is destroyed.
    EXPECT_EQ(KStreamGet((dir.mPath + "/absent.tst").c_str(), "", false).Get(), nullptr);
    EXPECT_EQ(gLivingStreams, 0);

    // Without looking at the disk.
    stream = KStreamGetNoCheck((dir.mPath + "/absent.tst").c_str(), nullptr);
    ASSERT_NE(stream.Get(), nullptr);
    EXPECT_EQ(std::string(stream->GetFileName()), dir.mPath + "/absent.tst");
    stream->Destroy(0);
    EXPECT_TRUE(KStreamGetNoCheck("file.unknown", nullptr).IsEmpty());
    EXPECT_EQ(gLivingStreams, 0);

    // Something created for an extension that is not a stream is not used.
    Object_Register("", "obj", "", &CreateNotAStream, false, "", HdlKObject());
    EXPECT_EQ(KStreamGetNoCheck("file.obj", nullptr).Get(), nullptr);
}

TEST_F(Streams, ResourceDirectoryIsSearchedWhenAsked)
{
    TempDir dir;
    dir.Write("library.tst");
    EXPECT_TRUE(KStreamSetResourcePath(dir.mPath.c_str()));
    EXPECT_EQ(std::string(KStreamGetResourcePath()), dir.mPath);
    EXPECT_EQ(KStreamGet("library.tst", "", false).Get(), nullptr);
    HdlKObjectTemplate<KStream> stream = KStreamGet("library.tst", "", true);
    ASSERT_NE(stream.Get(), nullptr);
    EXPECT_EQ(std::string(stream->GetFileName()), dir.mPath + "/library.tst");
    stream->Destroy(0);
    EXPECT_EQ(KStreamGet("nowhere.tst", "", true).Get(), nullptr);
    EXPECT_EQ(gLivingStreams, 0);
}

TEST_F(Streams, DefaultResourceDirectory)
{
    KStreamSetResourcePath("");
    std::string expected = std::string(KLib_GetMasterDirectory()) + "/system";
    EXPECT_EQ(std::string(KStreamGetResourcePath()), expected);
    KStreamSetResourcePath("/elsewhere");
    EXPECT_STREQ(KStreamGetResourcePath(), "/elsewhere");
}

TEST_F(Streams, ReadAndWriteObjects)
{
    TempDir dir;
    std::string file = dir.Write("scene.tst");
    KObject target;
    HdlKObject read = KStreamReadObject(file.c_str(), HdlKObject(&target), "", false);
    EXPECT_EQ(read.Get(), &target);
    EXPECT_EQ(gOpens, 1);
    EXPECT_EQ(gCloses, 1);
    EXPECT_EQ(gLivingStreams, 0);

    gSucceed = false;
    EXPECT_TRUE(KStreamReadObject(file.c_str(), HdlKObject(&target), "", false).IsEmpty());
    EXPECT_EQ(gCloses, 1);
    EXPECT_FALSE(KStreamWriteObject((dir.mPath + "/out.tst").c_str(), HdlKObject(&target), ""));
    EXPECT_EQ(gCreates, 1);
    EXPECT_EQ(gCloses, 1);

    gSucceed = true;
    EXPECT_TRUE(KStreamWriteObject((dir.mPath + "/out.tst").c_str(), HdlKObject(&target), nullptr));
    EXPECT_EQ(gCreates, 2);
    EXPECT_EQ(gCloses, 2);
    EXPECT_EQ(gLivingStreams, 0);

    // No stream class for the extension: nothing is touched.
    std::string unknown = dir.mPath + "/out.xyz";
    EXPECT_TRUE(KStreamReadObject(unknown.c_str(), HdlKObject(&target), "", true).IsEmpty());
    EXPECT_FALSE(KStreamWriteObject(unknown.c_str(), HdlKObject(&target), ""));
    EXPECT_NE(access(unknown.c_str(), F_OK), 0);
    EXPECT_EQ(gOpens + gCreates, 4);
}

namespace {

int gMessageCalls = 0;

int CountingMessage(const char*, const char*, const char*, const char*, const char*, int answer)
{
    ++gMessageCalls;
    return answer + 100;
}

void CountingProgress(const char*, const char*, float)
{
}

} // namespace

TEST(StreamOptions, CopyingTakesOnlyTheCallbacks)
{
    KStreamOptions options;
    EXPECT_EQ(options.mProgressUpdate, &EmptyProgressUpdateCallback);
    EXPECT_EQ(options.mMessage1, &EmptyMessageCallback);
    EXPECT_EQ(options.mMessage3(nullptr, nullptr, nullptr, nullptr, nullptr, 42), 42);
    EXPECT_TRUE(options.Is(KStreamOptions::ClassId));
    EXPECT_EQ(KPlug_GetClassId("KStreamOptions"), KStreamOptions::ClassId);

    KStreamOptions source;
    source.SetObjectName("Source");
    source.mProgressUpdate = &CountingProgress;
    source.mMessage2 = &CountingMessage;
    KStreamOptions target;
    target.SetObjectName("Target");
    KObject child;
    target.ConnectSrc(&child);
    target = source;
    EXPECT_EQ(target.mProgressUpdate, &CountingProgress);
    EXPECT_EQ(target.mMessage1, &EmptyMessageCallback);
    EXPECT_EQ(target.mMessage2, &CountingMessage);
    EXPECT_EQ(target.mMessage2("a", "b", "c", "d", "e", 1), 101);
    EXPECT_STREQ(target.GetObjectName(), "Target");
    EXPECT_TRUE(target.IsConnectedSrc(&child));

    target.Reset();
    EXPECT_EQ(target.mProgressUpdate, &EmptyProgressUpdateCallback);
    EXPECT_EQ(target.mMessage2, &EmptyMessageCallback);
}

// ---------------------------------------------------------------------------
// File-object event manager. The manager exists at most once per process, so
// its life is checked in a process of its own.

namespace {

class PasswordListener : public ICallback
{
public:
    IKObject* IQuery(unsigned long, int) override { return this; }
    void Destroy(int) override {}
    void OnEvent(IRegister* sender, KEventBase* event)
    {
        ++mCalls;
        mSender = sender;
        if (event->mType != kQoxObjectEventClassId)
            return;
        KQoxObjectEvent* record = static_cast<KQoxObjectEvent*>(event);
        mCode = record->mCode;
        mObject = record->mObject;
        mFieldsOk = record->mText[0] == '\0' && record->mField1 == 1 && record->mField2 == 0 &&
                    record->mPointers.GetCount() == 0 && !record->mConsumed;
        record->mConsumed = mConsume;
    }
    int mCalls = 0;
    int mCode = 0;
    IQoxObject* mObject = nullptr;
    IRegister* mSender = nullptr;
    bool mFieldsOk = false;
    bool mConsume = false;
};

ICallbackMethod EventMethod()
{
    return static_cast<ICallbackMethod>(&PasswordListener::OnEvent);
}

int ManagerLifecycle()
{
    int failures = 0;
    auto check = [&failures](bool ok) {
        if (!ok)
            ++failures;
    };
    PasswordListener first, second;
    IQoxObject* fileObject = reinterpret_cast<IQoxObject*>(&first);

    // An event before any registration creates no manager: the one made
    // below is the first and only one.
    KQoxObject_GenerateEvent(fileObject, 16);
    DestroyKQoxObjectManager();
    KQoxObjectManager* manager = KQoxObject_GetManager();
    check(manager != nullptr);
    if (!manager)
        return 100;
    check(KQoxObject_GetManager() == manager);

    check(manager->IQuery(0, 0) == static_cast<ICallback*>(manager));
    check(manager->IQuery(2, 0) == static_cast<ICallback*>(manager));
    check(manager->IQuery(3, 0) == static_cast<IRegister*>(manager));
    check(manager->IQuery(12, 0) == nullptr);

    // Another event class: refused, nothing added.
    check(static_cast<IRegister*>(manager)->Register(5, &second, EventMethod(), 0) == 1);
    check(static_cast<IRegister*>(manager)->Unregister(5, &second, EventMethod()) == 1);
    KQoxObject_GenerateEvent(fileObject, 16);
    check(second.mCalls == 0);

    check(KQoxObject_Register(&first, EventMethod()) == 0);
    check(KQoxObject_Register(&second, EventMethod()) == 0);
    KQoxObject_GenerateEvent(fileObject, 16);
    check(first.mCalls == 1 && second.mCalls == 1);
    check(first.mCode == 16 && first.mObject == fileObject && first.mFieldsOk);
    check(first.mSender == static_cast<IRegister*>(manager));

    // The oldest listener is called first; consuming stops the rest.
    first.mConsume = true;
    KQoxObject_GenerateEvent(fileObject, 3);
    check(first.mCalls == 2 && second.mCalls == 1);

    check(KQoxObject_Unregister(&first, EventMethod()) == 0);
    KQoxObject_GenerateEvent(fileObject, 4);
    check(first.mCalls == 2 && second.mCalls == 2 && second.mCode == 4);

    // Once destroyed, gone for good.
    DestroyKQoxObjectManager();
    check(KQoxObject_GetManager() == nullptr);
    check(KQoxObject_Register(&first, EventMethod()) == 0);
    KQoxObject_GenerateEvent(fileObject, 16);
    check(first.mCalls == 2 && second.mCalls == 2);
    return failures;
}

} // namespace

TEST(FileObjectEventsDeathTest, ManagerLifecycle)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(exit(ManagerLifecycle()), ::testing::ExitedWithCode(0), "");
}
