#ifndef QOX_BASE_KMEMORYFILE_H
#define QOX_BASE_KMEMORYFILE_H

// KMemoryFile: a caller's memory buffer seen through the plain file
// interface, so that code written for files can read a file image held in
// memory. The buffer is neither copied nor owned and never grows: writes stop
// at its end. There is no error state; short reads and writes show in their
// counts.

#include "base/kfile.h"
#include "base/kstring.h"

class KMemoryFile : public KFile
{
public:
    KMemoryFile();
    ~KMemoryFile() override;

    // A memory file cannot be opened by name: every open by name fails.
    bool Open(const char* name, kFileMode mode, bool text) override;
    bool Open(const char* name, const char* modeText) override;
    virtual bool Open(KString name, kFileMode mode, bool text);
    virtual bool Open(KString name, KString modeText);
    // Presents size bytes at buffer; false for a null buffer.
    virtual bool Open(void* buffer, unsigned int size);
    void Close() override;

    unsigned int Read(void* destination, unsigned int n) override;
    // With exact set, a request for more than what is left reads nothing.
    unsigned int Read(void* destination, unsigned int n, bool exact);
    char* ReadString(char* buffer, int size) override;
    int ReadInt32(int* value, bool swap) override;
    unsigned int ReadUInt32(unsigned int* value, bool swap) override;
    short ReadInt16(short* value, bool swap) override;
    unsigned short ReadUInt16(unsigned short* value, bool swap) override;
    char ReadChar(char* value) override;
    unsigned char ReadUChar(unsigned char* value) override;
    unsigned int Write(void* source, unsigned int n) override;
    // From the end, the offset counts backwards from the end of the buffer
    // (either sign). The result is clamped to 0..size.
    void Seek(kSeekPos from, long offset) override;
    long GetPosition() override;
    void SetPosition(long offset) override;
    bool IsOpened() override;
    int GetError() override;
    void ClearError() override;
    bool EndOfFile() override;
    void Format(const char* format, ...) override
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

    unsigned int GetSize() const
    {
        return mSize;
    }

private:
    template <typename T>
    T ReadValue(T* value, bool swap);

    unsigned char* mBuffer;
    unsigned int mSize;
    unsigned int mPosition;
};

#endif
