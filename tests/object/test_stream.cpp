// Streams found by file extension, stream options, and the file-object event
// manager.

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

#include <string>

#include "base/kpath.h"
#include "object/kclassregistry.h"
#include "object/kfileobjectevent.h"
#include "object/kstream.h"
#include "object_test_helpers.h"

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
    qoxtest::TempDir dir;
    KStream stream;
    EXPECT_EQ(stream.GetClassGroupId(), KObject::ClassGroupId);
    stream.SetFileName(dir.File("absent.tst").c_str());
    EXPECT_FALSE(stream.IsStreamExist() || stream.IsStreamValid());
    stream.SetFileName(WriteIn(dir, "present.tst").c_str());
    EXPECT_TRUE(stream.IsStreamExist() && stream.IsStreamValid());
    EXPECT_FALSE(stream.StreamOpen(HdlKObjectTemplate<KStreamOptions>()));
}

TEST_F(Streams, StreamClassComesFromTheExtension)
{
    qoxtest::TempDir dir;
    std::string file = WriteIn(dir, "scene.TST");
    HdlKObjectTemplate<KStream> stream = KStreamGet(file.c_str(), nullptr, false);
    ASSERT_NE(stream.Get(), nullptr);
    EXPECT_TRUE(stream->Is(TStream::ClassId));
    EXPECT_EQ(std::string(stream->GetFileName()), file);
    stream->Destroy(0);
    // Another group, another set of extensions.
    std::string other = WriteIn(dir, "scene.rdr");
    EXPECT_EQ(KStreamGet(other.c_str(), "", false).Get(), nullptr);
    stream = KStreamGet(other.c_str(), "readers", false);
    ASSERT_NE(stream.Get(), nullptr);
    stream->Destroy(0);
    // A missing file: the stream made for the attempt is destroyed.
    EXPECT_EQ(KStreamGet(dir.File("absent.tst").c_str(), "", false).Get(), nullptr);
    EXPECT_EQ(gLivingStreams, 0);
    // Without looking at the disk.
    stream = KStreamGetNoCheck(dir.File("absent.tst").c_str(), nullptr);
    ASSERT_NE(stream.Get(), nullptr);
    EXPECT_EQ(std::string(stream->GetFileName()), dir.File("absent.tst"));
    stream->Destroy(0);
    EXPECT_TRUE(KStreamGetNoCheck("file.unknown", nullptr).IsEmpty());
    EXPECT_EQ(gLivingStreams, 0);
    // Something created for an extension that is not a stream is not used.
    Object_Register("", "obj", "", &CreateNotAStream, false, "", HdlKObject());
    EXPECT_EQ(KStreamGetNoCheck("file.obj", nullptr).Get(), nullptr);
}

TEST_F(Streams, ResourceDirectoryIsSearchedWhenAsked)
{
    KStreamSetResourcePath("");
    EXPECT_EQ(std::string(KStreamGetResourcePath()), std::string(KLib_GetMasterDirectory()) + "/system");
    qoxtest::TempDir dir;
    WriteIn(dir, "library.tst");
    EXPECT_TRUE(KStreamSetResourcePath(dir.Path().c_str()));
    EXPECT_EQ(std::string(KStreamGetResourcePath()), dir.Path());
    EXPECT_EQ(KStreamGet("library.tst", "", false).Get(), nullptr);
    HdlKObjectTemplate<KStream> stream = KStreamGet("library.tst", "", true);
    ASSERT_NE(stream.Get(), nullptr);
    EXPECT_EQ(std::string(stream->GetFileName()), dir.File("library.tst"));
    stream->Destroy(0);
    EXPECT_EQ(KStreamGet("nowhere.tst", "", true).Get(), nullptr);
    EXPECT_EQ(gLivingStreams, 0);
}

TEST_F(Streams, ReadAndWriteObjects)
{
    qoxtest::TempDir dir;
    std::string file = WriteIn(dir, "scene.tst");
    KObject target;
    // Counts of open, create and close calls, and streams alive.
    auto counts = [] { return std::vector<int>({gOpens, gCreates, gCloses, gLivingStreams}); };
    EXPECT_EQ(KStreamReadObject(file.c_str(), HdlKObject(&target), "", false).Get(), &target);
    EXPECT_EQ(counts(), std::vector<int>({1, 0, 1, 0}));
    // A failed open or create is not closed.
    gSucceed = false;
    EXPECT_TRUE(KStreamReadObject(file.c_str(), HdlKObject(&target), "", false).IsEmpty());
    EXPECT_FALSE(KStreamWriteObject(dir.File("out.tst").c_str(), HdlKObject(&target), ""));
    EXPECT_EQ(counts(), std::vector<int>({2, 1, 1, 0}));
    gSucceed = true;
    EXPECT_TRUE(KStreamWriteObject(dir.File("out.tst").c_str(), HdlKObject(&target), nullptr));
    EXPECT_EQ(counts(), std::vector<int>({2, 2, 2, 0}));
    // No stream class for the extension: nothing is touched.
    std::string unknown = dir.File("out.xyz");
    EXPECT_TRUE(KStreamReadObject(unknown.c_str(), HdlKObject(&target), "", true).IsEmpty());
    EXPECT_FALSE(KStreamWriteObject(unknown.c_str(), HdlKObject(&target), ""));
    EXPECT_NE(access(unknown.c_str(), F_OK), 0);
    EXPECT_EQ(counts(), std::vector<int>({2, 2, 2, 0}));
}

namespace {

int CountingMessage(const char*, const char*, const char*, const char*, const char*, int answer)
{
    return answer + 100;
}

void CountingProgress(const char*, const char*, float) {}

class PasswordListener : public TCallback
{
public:
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

const ICallbackMethod kEventMethod = static_cast<ICallbackMethod>(&PasswordListener::OnEvent);

} // namespace

TEST(StreamOptions, CopyingTakesOnlyTheCallbacks)
{
    KStreamOptions source, target;
    EXPECT_EQ(source.mMessage3(nullptr, nullptr, nullptr, nullptr, nullptr, 42), 42); // the empty callback
    source.mProgressUpdate = &CountingProgress;
    source.mMessage2 = &CountingMessage;
    target.SetObjectName("Target");
    KObject child;
    target.ConnectSrc(&child);
    target = source;
    EXPECT_EQ(target.mProgressUpdate, &CountingProgress);
    EXPECT_EQ(target.mMessage1, &EmptyMessageCallback);
    EXPECT_EQ(target.mMessage2("a", "b", "c", "d", "e", 1), 101);
    EXPECT_STREQ(target.GetObjectName(), "Target");
    EXPECT_TRUE(target.IsConnectedSrc(&child));
    target.Reset();
    EXPECT_EQ(target.mProgressUpdate, &EmptyProgressUpdateCallback);
    EXPECT_EQ(target.mMessage2, &EmptyMessageCallback);
}

// The file-object event manager exists at most once per process; no other
// test uses it.
TEST(FileObjectEvents, ManagerLifecycle)
{
    PasswordListener first, second;
    IQoxObject* fileObject = reinterpret_cast<IQoxObject*>(&first);
    // An event before any registration creates no manager: the one made
    // below is the first and only one.
    KQoxObject_GenerateEvent(fileObject, 16);
    DestroyKQoxObjectManager();
    KQoxObjectManager* manager = KQoxObject_GetManager();
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(KQoxObject_GetManager(), manager);
    EXPECT_EQ(manager->IQuery(2, 0), static_cast<ICallback*>(manager));
    EXPECT_EQ(manager->IQuery(3, 0), static_cast<IRegister*>(manager));
    // Another event class: refused, nothing added.
    EXPECT_EQ(static_cast<IRegister*>(manager)->Register(5, &second, kEventMethod, 0), 1);
    EXPECT_EQ(static_cast<IRegister*>(manager)->Unregister(5, &second, kEventMethod), 1);
    KQoxObject_GenerateEvent(fileObject, 16);
    EXPECT_EQ(second.mCalls, 0);

    EXPECT_EQ(KQoxObject_Register(&first, kEventMethod), 0);
    EXPECT_EQ(KQoxObject_Register(&second, kEventMethod), 0);
    KQoxObject_GenerateEvent(fileObject, 16);
    EXPECT_EQ(std::vector<int>({first.mCalls, second.mCalls, first.mCode}), std::vector<int>({1, 1, 16}));
    EXPECT_TRUE(first.mObject == fileObject && first.mFieldsOk);
    EXPECT_EQ(first.mSender, static_cast<IRegister*>(manager));
    // The oldest listener is called first; consuming stops the rest.
    first.mConsume = true;
    KQoxObject_GenerateEvent(fileObject, 3);
    EXPECT_EQ(std::vector<int>({first.mCalls, second.mCalls}), std::vector<int>({2, 1}));
    EXPECT_EQ(KQoxObject_Unregister(&first, kEventMethod), 0);
    KQoxObject_GenerateEvent(fileObject, 4);
    EXPECT_EQ(std::vector<int>({first.mCalls, second.mCalls, second.mCode}), std::vector<int>({2, 2, 4}));
    // Once destroyed, gone for good.
    DestroyKQoxObjectManager();
    EXPECT_EQ(KQoxObject_GetManager(), nullptr);
    EXPECT_EQ(KQoxObject_Register(&first, kEventMethod), 0);
    KQoxObject_GenerateEvent(fileObject, 16);
    EXPECT_EQ(std::vector<int>({first.mCalls, second.mCalls}), std::vector<int>({2, 2}));
}
