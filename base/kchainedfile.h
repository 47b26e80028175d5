#ifndef QOX_BASE_KCHAINEDFILE_H
#define QOX_BASE_KCHAINEDFILE_H

// KChainedFile: one layer of a stack of byte-stream layers. Every operation
// passes to the layer below (next); the bottom layer (no next) passes it to a
// tail file that it creates itself on open: a disk file (KFile) when opened
// by name, a memory file (KMemoryFile) when opened on a buffer. Layer classes
// override what they change (KCrcFile, KEncryptedFile); callers hold the top
// layer as a KChainedFile.
//
// A bottom layer that has not been opened yet answers like a closed file:
// 0, null, false, or -1 from Truncate.

#include <memory>

#include "base/kfile.h"

class KChainedFile
{
public:
    enum EMode
    {
        eClosed = 0,
        eRead = 1,
        eWrite = 2
    };

    KChainedFile(int id, KChainedFile* next, EMode mode, bool ownsNext);
    virtual ~KChainedFile();

    KChainedFile(const KChainedFile&) = delete;
    KChainedFile& operator=(const KChainedFile&) = delete;

    // Mode becomes eRead for kFILE_READ and eWrite for the other modes; eClosed on failure.
    virtual bool Open(const char* name, kFileMode mode, bool text);
    // fopen-style mode text; eRead when it contains 'r', else eWrite.
    virtual bool Open(const char* name, const char* modeText);
    // On the caller's buffer (not copied, not owned); eRead on success.
    virtual bool Open(void* buffer, unsigned int size);
    // Closes the layer below or the tail file; mode eClosed. False when the
    // layer below reports a failure.
    virtual bool Close();
    virtual unsigned int Read(void* buffer, unsigned int n);
    // Number of bytes read at position; the position Read goes on from is
    // left where it was. Passed down to the disk file, which reads them
    // without filling its stream's buffer; layers that change the bytes
    // read them through their own Read.
    virtual unsigned int ReadAt(long position, void* buffer, unsigned int n);
    virtual char* ReadString(char* buffer, int size);
    virtual unsigned int Write(void* buffer, unsigned int n);
    virtual void Seek(kSeekPos from, long offset);
    virtual long GetPosition();
    virtual void SetPosition(long offset);
    virtual bool IsOpened();
    virtual int GetError();
    virtual void ClearError();
    virtual bool EndOfFile();
    // printf-style text of any length, written without its terminator
    // through the layer below or the tail file.
    virtual void Format(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    virtual int Truncate(unsigned int length);

    int GetId() const
    {
        return mId;
    }
    KChainedFile* GetNext() const
    {
        return mNext;
    }
    EMode GetMode() const
    {
        return mMode;
    }
    bool GetOwnsNext() const
    {
        return mOwnsNext;
    }

protected:
    int mId;
    KChainedFile* mNext;
    EMode mMode;
    bool mOwnsNext;
    std::unique_ptr<KFile> mTailFile; // bottom layer only
};

#endif
