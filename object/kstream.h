#ifndef QOX_OBJECT_KSTREAM_H
#define QOX_OBJECT_KSTREAM_H

// Streams read an object from a file or write one to it. The stream class
// for a file is chosen by its extension: the stream is created through the
// class registry, with the extension as the entry name. KStream fixes the
// protocol (file name and target object, open or create, close); its own
// operations do nothing, the work lies in the registered subclasses.
//
// KStreamOptions is the base of every file format's option set: an object
// carrying the callbacks through which a reader or writer reports progress
// and asks questions.

#include "base/kstring.h"
#include "object/kobject.h"

class KStreamOptions;

class KStream : public KObject
{
    KPLUG_CLASS_DECLARE(KStream)
public:
    KStream() {}
    ~KStream() override {}

    HdlKObject GetObject() const { return mObject; }
    void SetObject(HdlKObject object) { mObject = object; }

    virtual void SetFileName(const char* fileName);
    virtual const char* GetFileName();
    // Whether a file of that name exists.
    virtual bool IsStreamExist();
    virtual bool IsStreamValid();
    // The option objects of the stream; the base has none.
    virtual KStreamOptions* StreamGetCreateOptions();
    virtual KStreamOptions* StreamGetOpenOptions();
    virtual void StreamReleaseOptions(KStreamOptions* options);
    virtual bool StreamCreate(HdlKObjectTemplate<KStreamOptions> options);
    virtual bool StreamOpen(HdlKObjectTemplate<KStreamOptions> options);
    virtual bool StreamClose();
    virtual bool StreamIsContinuous();

private:
    HdlKObject mObject;
    KString mFileName;
};

typedef void (*KProgressUpdateCallback)(const char* title, const char* text, float percent);
// Five texts, then the answer to give when nobody asks the user.
typedef int (*KMessageCallback)(const char* a, const char* b, const char* c, const char* d, const char* e,
                                int defaultAnswer);

void EmptyProgressUpdateCallback(const char* title, const char* text, float percent);
// Returns defaultAnswer.
int EmptyMessageCallback(const char* a, const char* b, const char* c, const char* d, const char* e, int defaultAnswer);

class KStreamOptions : public KObject
{
    KPLUG_CLASS_DECLARE(KStreamOptions)
public:
    KStreamOptions();
    ~KStreamOptions() override {}

    KStreamOptions(const KStreamOptions&) = delete;
    // Copies the four callbacks only; the object part stays as it was.
    KStreamOptions& operator=(const KStreamOptions& other);

    // Back to the empty callbacks.
    virtual void Reset();

    KProgressUpdateCallback mProgressUpdate;
    KMessageCallback mMessage1;
    KMessageCallback mMessage2;
    KMessageCallback mMessage3;
};

// The stream registered for the file's extension in the group, given the
// file name when the file exists (or, when asked, the resource directory
// path when the file exists there); the null handle otherwise.
HdlKObjectTemplate<KStream> KStreamGet(const char* fileName, const char* group, bool searchResourcePath);
// The stream for the file's extension, given the name without looking at
// the disk; the null handle when no stream class is registered for it.
HdlKObjectTemplate<KStream> KStreamGetNoCheck(const char* fileName, const char* group);
// Opens the file into the object; the object's handle, or the null handle.
HdlKObject KStreamReadObject(const char* fileName, HdlKObject object, const char* group, bool searchResourcePath);
// Writes the object to the file; true when the stream was created.
bool KStreamWriteObject(const char* fileName, HdlKObject object, const char* group);
bool KStreamSetResourcePath(const char* path);
// The resource directory; the master directory + "/system" until set. Set and
// read from any thread; the text returned stays valid until the process ends.
const char* KStreamGetResourcePath();

#endif
