#include "object/kstream.h"

#include <algorithm>
#include <forward_list>
#include <mutex>
#include <string>

#include "base/kfile.h"
#include "base/kpath.h"
#include "object/kclassregistry.h"

KPLUG_CLASS_IMPLEMENT(KStream, KObject, "KStream")
KPLUG_CLASS_IMPLEMENT(KStreamOptions, KObject, "KStreamOptions")

namespace {

// The resource directory as set (empty until then), set and read from any
// thread under its lock. Every text ever given out is kept until the process
// ends, so that it stays valid whatever other threads set later.
struct ResourcePath
{
    std::mutex mLock;
    std::forward_list<std::string> mKept;
    std::string mPath;
};

ResourcePath& StreamResourcePath()
{
    static ResourcePath* path = new ResourcePath; // never destroyed
    return *path;
}

// The stream that the registry creates for the extension; anything created
// that is not a stream is destroyed.
KStream* CreateStream(const char* fileName, const char* group)
{
    KString extension = ExtractFileExtension(fileName);
    IKObject* created = Object_Create(group ? group : "", extension, nullptr, "", nullptr, 0);
    if (!created)
        return nullptr;
    IKObject* object = created->IQuery(0x98ABD146ul, 0);
    if (!object || !static_cast<KObject*>(object)->Is(KStream::ClassId))
    {
        created->Destroy(0);
        return nullptr;
    }
    return static_cast<KStream*>(static_cast<KObject*>(object));
}

} // namespace

// ---------------------------------------------------------------------------
// KStream

void KStream::SetFileName(const char* fileName)
{
    mFileName = fileName ? fileName : "";
}

const char* KStream::GetFileName()
{
    return mFileName;
}

bool KStream::IsStreamExist()
{
    return FileExist(mFileName);
}

bool KStream::IsStreamValid()
{
    return IsStreamExist();
}

KStreamOptions* KStream::StreamGetCreateOptions()
{
    return nullptr;
}

KStreamOptions* KStream::StreamGetOpenOptions()
{
    return nullptr;
}

void KStream::StreamReleaseOptions(KStreamOptions*) {}

bool KStream::StreamCreate(HdlKObjectTemplate<KStreamOptions>)
{
    return false;
}

bool KStream::StreamOpen(HdlKObjectTemplate<KStreamOptions>)
{
    return false;
}

bool KStream::StreamClose()
{
    return false;
}

bool KStream::StreamIsContinuous()
{
    return false;
}

// ---------------------------------------------------------------------------
// KStreamOptions

void EmptyProgressUpdateCallback(const char*, const char*, float) {}

int EmptyMessageCallback(const char*, const char*, const char*, const char*, const char*, int defaultAnswer)
{
    return defaultAnswer;
}

KStreamOptions::KStreamOptions()
{
    KStreamOptions::Reset();
}

KStreamOptions& KStreamOptions::operator=(const KStreamOptions& other)
{
    mProgressUpdate = other.mProgressUpdate;
    mMessage1 = other.mMessage1;
    mMessage2 = other.mMessage2;
    mMessage3 = other.mMessage3;
    return *this;
}

void KStreamOptions::Reset()
{
    mProgressUpdate = &EmptyProgressUpdateCallback;
    mMessage1 = &EmptyMessageCallback;
    mMessage2 = &EmptyMessageCallback;
    mMessage3 = &EmptyMessageCallback;
}

// ---------------------------------------------------------------------------
// Free functions

HdlKObjectTemplate<KStream> KStreamGet(const char* fileName, const char* group, bool searchResourcePath)
{
    KStream* stream = CreateStream(fileName, group);
    if (!stream)
        return HdlKObjectTemplate<KStream>();
    if (fileName && FileExist(fileName))
    {
        stream->SetFileName(fileName);
        return HdlKObjectTemplate<KStream>(stream);
    }
    if (searchResourcePath && fileName)
    {
        KString path(KStreamGetResourcePath());
        path += "/";
        path += fileName;
        if (FileExist(path))
        {
            stream->SetFileName(path);
            return HdlKObjectTemplate<KStream>(stream);
        }
    }
    stream->Destroy(0);
    return HdlKObjectTemplate<KStream>();
}

HdlKObjectTemplate<KStream> KStreamGetNoCheck(const char* fileName, const char* group)
{
    KStream* stream = CreateStream(fileName, group);
    if (!stream)
        return HdlKObjectTemplate<KStream>();
    stream->SetFileName(fileName);
    return HdlKObjectTemplate<KStream>(stream);
}

HdlKObject KStreamReadObject(const char* fileName, HdlKObject object, const char* group, bool searchResourcePath)
{
    KStream* stream = KStreamGet(fileName, group, searchResourcePath).Get();
    if (!stream)
        return HdlKObject();
    stream->SetObject(object);
    HdlKObject result;
    if (stream->StreamOpen(HdlKObjectTemplate<KStreamOptions>()))
    {
        result = stream->GetObject();
        stream->StreamClose();
    }
    stream->Destroy(0);
    return result;
}

bool KStreamWriteObject(const char* fileName, HdlKObject object, const char* group)
{
    KStream* stream = KStreamGetNoCheck(fileName, group).Get();
    if (!stream)
        return false;
    stream->SetObject(object);
    bool created = stream->StreamCreate(HdlKObjectTemplate<KStreamOptions>());
    if (created)
        stream->StreamClose();
    stream->Destroy(0);
    return created;
}

bool KStreamSetResourcePath(const char* path)
{
    ResourcePath& resource = StreamResourcePath();
    std::lock_guard<std::mutex> lock(resource.mLock);
    resource.mPath = path ? path : "";
    return true;
}

const char* KStreamGetResourcePath()
{
    ResourcePath& resource = StreamResourcePath();
    std::lock_guard<std::mutex> lock(resource.mLock);
    if (resource.mPath.empty())
    {
        const char* master = KLib_GetMasterDirectory();
        resource.mPath = master ? master : "";
        resource.mPath += "/system";
    }
    auto kept = std::find(resource.mKept.begin(), resource.mKept.end(), resource.mPath);
    if (kept == resource.mKept.end())
    {
        resource.mKept.push_front(resource.mPath);
        kept = resource.mKept.begin();
    }
    return kept->c_str();
}
