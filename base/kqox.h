#ifndef QOX_BASE_KQOX_H
#define QOX_BASE_KQOX_H

// KQox: the field layer of the native scene file (".qox", and take files
// ".tak"). A file holds lists of named fields; a field carries a list of typed
// values and may open a nested list (a block). Sections are named, versioned
// blocks (definitions, objects, connections, takes, animation ...); the
// version of the section being written or read decides how times are stored.
//
// Three forms: binary, ASCII and encrypted (binary enciphered with a key
// derived from a password). Files are written to and read from disk through
// the chained file layers, or from/to a memory buffer. docs/qox-file-format.md
// describes the layout.
//
// Reading: entering a list indexes its records (names, positions), so fields
// are found by name in any order and unknown fields or blocks are passed over
// without decoding their values. Reading takes time linear in the file size,
// however deep its blocks nest. Every length, count and offset read from a
// file is checked; damage shows as error eFILE_CORRUPTED, never as a crash.
//
// Nothing throws but std::bad_alloc, when memory runs out (the readers and
// writers turn it into "Out of memory"). Operations return a success flag or
// a neutral value and record the reason in the object's KError.

#include <memory>

#include "base/kerror.h"
#include "base/kstring.h"
#include "base/ktime.h"

struct KQoxPrivate;
class KFile;

class KQox
{
public:
    enum EForm
    {
        eBINARY = 0,
        eASCII = 1,
        eENCRYPTED = 2
    };

    enum EError
    {
        eFILE_CORRUPTED = 0,
        eFILE_VERSION_NOT_SUPPORTED_YET = 1,
        eFILE_VERSION_NOT_SUPPORTED_ANYMORE = 2,
        eFILE_NOT_OPENED = 3,
        eFILE_NOT_CREATED = 4,
        eWRONG_PASSWORD = 5,
        eBEGIN_FIELD_ERROR = 6,
        eBLOCK_ERROR = 7,
        eSECTION_ERROR = 8,
        eUNIDENTIFIED_ERROR = 9,
        eWRITE_FIELD_NOT_OPENED = 10,
        eNO_SPACE_LEFT = 11,
        eERROR_COUNT = 12
    };

    enum
    {
        eVERSION_6 = 6000,           // written by default
        eVERSION_5 = 5800,           // the version-5 layout
        eOLDEST_VERSION = 1000,      // below: not supported anymore
        eNEWEST_VERSION = 6999,      // above: not supported yet
        eSECONDS_TIME_VERSION = 2000 // sections up to this version store times in seconds
    };

    // Empty name and path, no open file.
    KQox();
    virtual ~KQox();

    KQox(const KQox&) = delete;
    KQox& operator=(const KQox&) = delete;

    // ---- Whole file -------------------------------------------------------

    // Creates a file on disk. A password matters only for eENCRYPTED (null is
    // the empty password). Fails with eFILE_NOT_CREATED.
    bool ProjectCreate(const char* fileName, EForm form = eBINARY, int version = eVERSION_6,
                       const char* password = nullptr);
    // Writes the file into the caller's buffer (zeroed first, never grown);
    // running out of room is eNO_SPACE_LEFT. ProjectGetFileSize gives the
    // bytes used once the file is closed.
    bool ProjectCreate(void* buffer, unsigned int capacity, EForm form = eBINARY, int version = eVERSION_6,
                       const char* password = nullptr);
    // Opens a file of any form (found from its first bytes). Reads the header
    // and the top-level list (section names and versions) only (an ASCII file
    // is also read through once to pair its braces); with checkIntegrity the
    // whole file's check value is verified first. A key check that does not
    // match is eWRONG_PASSWORD; without checkIntegrity it is eFILE_CORRUPTED
    // when the rest of the file shows the key to be right. A directory is
    // eFILE_NOT_OPENED; a FIFO, socket or device is read whole into memory
    // first (at most kSTREAM_MOST_BYTES, else eFILE_NOT_OPENED with the text
    // kSTREAM_TOO_LONG_TEXT), and is eFILE_CORRUPTED as soon as its first
    // bytes are no native file's.
    bool ProjectOpen(const char* fileName, const char* password = nullptr, bool checkIntegrity = true);
    // The same on a file image in memory (not copied; it must outlive the reading).
    bool ProjectOpen(const void* buffer, unsigned int size, const char* password = nullptr, bool checkIntegrity = true);
    // Verifies the check value of a binary or encrypted file open for reading
    // (an ASCII file has none: true). False, with eFILE_CORRUPTED, on damage,
    // and in every form when the file shrank (or could not be read) while it
    // was read in place: the bytes it lost read as zeros.
    bool ProjectCheckIntegrity();
    // Finishes a file being written (open fields, blocks and sections are
    // closed) or releases one being read. False with eNO_SPACE_LEFT when the
    // written file could not be completed.
    bool ProjectClose();

    bool ProjectIsOpen() const;
    bool ProjectIsWriting() const;
    // Bytes in the file: the file read, or the file written once closed.
    unsigned long long ProjectGetFileSize() const;
    // The file version of the header (6000, 5800, ...); 0 when nothing is open.
    int ProjectGetFileVersion() const;
    EForm ProjectGetForm() const;
    // The binary flag: true for binary and encrypted files, false for ASCII.
    bool IsBinary() const;
    bool IsEncrypted() const;

    // The name given to create/open, and the directory of the file ("" before).
    const char* GetFileName() const;
    const char* GetFilePath() const;
    // relative joined to the file's directory and cleaned. The text stays
    // valid while this object lives; the same full path gives the same text.
    const char* GetFullFilePath(const char* relative);

    // ---- Sections ----------------------------------------------------------
    //
    // The section calls below work on the current section list: the list the
    // innermost section being read or written was entered from, or, when the
    // list being read is a field's block that holds sections of its own (a
    // nested scene) and none of them is entered, that block. Outside nested
    // scenes this is the top-level list. While writing, the sections written
    // so far are listed. So ProjectGetSectionVersion(ProjectGetCurrentSection())
    // is the version of the section being read or written.

    // Opens a section in the current list; the version governs the times
    // written inside it. Fails with eBEGIN_FIELD_ERROR while a field is open.
    bool ProjectWriteSectionBegin(const char* name, int version);
    // Closes the innermost section (eSECTION_ERROR when none is open).
    bool ProjectWriteSectionEnd();

    // The sections of the current section list, in file order (those of the
    // top-level list are known at open time).
    int ProjectGetSectionCount() const;
    // "" for an index out of range.
    const char* ProjectGetSectionName(int section) const;
    // The section's version; -1 for an index out of range.
    int ProjectGetSectionVersion(int section) const;
    // The first section named name after index after; -1 when none.
    int ProjectFindSection(const char* name, int after = -1) const;
    // Goes back to the current section list and enters that section
    // (reading only; eSECTION_ERROR for an index out of range).
    bool ProjectOpenSection(int section);
    // Enters the next section of that name in the current list (a nested
    // scene holds its own sections inside a field's block).
    bool ProjectReadSectionBegin(const char* name);
    // Leaves the innermost section entered (eSECTION_ERROR when none).
    bool ProjectReadSectionEnd();
    // Index, in the current section list, of the section being read or
    // written from it; -1 when none.
    int ProjectGetCurrentSection() const;
    // Version of the innermost section being read or written; the file
    // version outside any section.
    int ProjectGetCurrentSectionVersion() const;

    // ---- Writing fields -----------------------------------------------------

    // Opens a field in the current list; eBEGIN_FIELD_ERROR when one is open.
    bool FieldWriteBegin(const char* name);
    // Closes the open field (ASCII: ends the line); eNO_SPACE_LEFT on a write
    // error, eWRITE_FIELD_NOT_OPENED when no field is open.
    bool FieldWriteEnd();
    // Value appenders; eWRITE_FIELD_NOT_OPENED when no field is open.
    bool FieldWriteCH(char value);
    bool FieldWriteI(int value);
    bool FieldWriteL(long long value);
    bool FieldWriteF(float value);
    bool FieldWriteD(double value);
    bool FieldWriteC(const char* value); // a string; null is ""
    // Raw bytes of any size ('R').
    bool FieldWriteR(const void* data, unsigned long long size);
    // The whole content of a file as one raw value, streamed (embedded media).
    // eFILE_NOT_OPENED when that file cannot be read whole.
    bool FieldWriteRFile(const char* fileName);
    // Seconds ('D') in a section of version 2000 or lower, else ticks ('L').
    bool FieldWriteT(KTime time);
    // A typed array as one value, written in one portion: bytes ('b'), 32-bit
    // integers ('i'), 64-bit integers ('l'), floats ('f') or doubles ('d').
    // Binary: the code, the 32-bit count and the items little-endian; ASCII:
    // the items as their scalar texts. values may be null when count is 0.
    bool FieldWriteArrayB(const unsigned char* values, unsigned int count);
    bool FieldWriteArrayI(const int* values, unsigned int count);
    bool FieldWriteArrayL(const long long* values, unsigned int count);
    bool FieldWriteArrayF(const float* values, unsigned int count);
    bool FieldWriteArrayD(const double* values, unsigned int count);
    // Opens the nested list of the open field (ASCII " {" and a new line);
    // the field takes no more values.
    bool FieldWriteBlockBegin();
    // Closes the current nested list; eBLOCK_ERROR when none is open.
    bool FieldWriteBlockEnd();

    // ---- Reading fields -----------------------------------------------------

    // Makes the next unread field of that name in the current list current,
    // at its first value; false (no field current) when there is none.
    bool FieldReadBegin(const char* name);
    // Ends the current field; the next FieldReadBegin of its name finds the
    // following field of that name.
    void FieldReadEnd();
    // Number of fields of that name in the current list.
    int FieldReadGetCount(const char* name);
    // Index, in the current list, of the field FieldReadBegin(name) would
    // make current; -1 when there is none. No field is made current or ended.
    int FieldReadGetRecordIndex(const char* name);
    // The records (fields and sections) of the current list, in file order,
    // for readers that walk a file without knowing its names.
    int FieldReadGetRecordCount();
    // Name of a record of the current list (null out of range); isSection
    // (when given) tells a section from a field.
    const char* FieldReadGetRecordName(int index, bool* isSection = nullptr);
    // Enters the nested list of the current field; false when it has none,
    // or with eFILE_CORRUPTED when the list cannot be parsed.
    bool FieldReadBlockBegin();
    // Returns to the parent list (its current field is current again).
    bool FieldReadBlockEnd();

    // Type code of the next value ('C', 'I', 'L', 'F', 'D', 'S', 'R'); 'S'
    // when no field is current or no value is left. ASCII files carry no codes:
    // the code is guessed from the text.
    char FieldReadGetType();
    // Values left in the current field; 0 when no field is current. A field
    // of 2^31 values or more reports at most 2147483647.
    int FieldReadGetRemain();

    // The next value of the current field. A value of another type is
    // converted; with no field current or no value left: 0, 0.0, "".
    char FieldReadCH();
    int FieldReadI();
    long long FieldReadL();
    float FieldReadF();
    double FieldReadD();
    // Text valid until the next read.
    const char* FieldReadC();
    // Ticks for an 'L' value (binary) or in a section above version 2000
    // (ASCII); otherwise seconds turned into ticks.
    KTime FieldReadT();
    // Size of the next value when it is raw ('R'), else 0.
    unsigned long long FieldReadRSize();
    // Reads the next raw value into buffer (capacity bytes, at least its size).
    bool FieldReadR(void* buffer, unsigned long long capacity);
    // Items in the next value when it is a typed array; -1 otherwise (no
    // field current, no value left, another type). The count is bounded by
    // the bytes the value takes in the file, so it is safe to allocate.
    long long FieldReadArrayCount();
    // Reads the next value, a typed array of at most capacity items, into
    // values, converting items of another numeric type as scalars are
    // converted. False (nothing read) when the next value is no array or is
    // longer than capacity; eFILE_CORRUPTED when its items cannot be read.
    bool FieldReadArrayB(unsigned char* values, unsigned long long capacity);
    bool FieldReadArrayI(int* values, unsigned long long capacity);
    bool FieldReadArrayL(long long* values, unsigned long long capacity);
    bool FieldReadArrayF(float* values, unsigned long long capacity);
    bool FieldReadArrayD(double* values, unsigned long long capacity);
    // Streams the next raw value into a new file (extracted media). On a
    // failure part way the partly written file is removed (eFILE_CORRUPTED
    // for a damaged value, eNO_SPACE_LEFT for a failed write).
    bool FieldReadRFile(const char* fileName);
    // Writes the next raw value, every byte, to the open descriptor (a file
    // the caller made). False for a damaged value (eFILE_CORRUPTED), or with
    // errno from the write that failed: the value then stays to be read
    // again, and the error is left to the caller.
    bool FieldReadRDescriptor(int descriptor);
    // Streams the next raw value, every byte, into sink and leaves it to be
    // read again (a caller compares or hashes it before writing anything):
    // true when sink took every byte; false when sink took fewer bytes than
    // given or the next value is no raw value (eFILE_CORRUPTED when it
    // cannot be read, as for its read).
    bool FieldReadRPeek(KFile& sink);

    // First value of the next unread field of that name (which is then ended),
    // or the default when there is none. The current field stays current.
    char FieldReadCH(const char* name, char defaultValue);
    int FieldReadI(const char* name, int defaultValue);
    long long FieldReadL(const char* name, long long defaultValue);
    float FieldReadF(const char* name, float defaultValue);
    double FieldReadD(const char* name, double defaultValue);
    const char* FieldReadC(const char* name, const char* defaultValue);
    KTime FieldReadT(const char* name, KTime defaultValue);

    // ---- Errors -------------------------------------------------------------

    KError& GetError();
    int GetLastErrorID() const;
    const char* GetLastErrorString() const;

    // A value of a binary field as the file holds it: its type code and,
    // for a number, its value; for a text, its bytes (not terminated).
    // Filled by FieldPeekValues, for the file readers built on this class;
    // left uninitialised: only the members of a value's type are set.
    struct ValueView
    {
        char mType;
        long long mInt;    // 'C', 'I', 'L'
        double mDouble;    // 'F', 'D'
        const char* mText; // 'S': mLength bytes
        unsigned int mLength;
    };

    // Reading the records of a list side by side, on several threads.
    // FieldReadSplit opens part as a reader of its own (whatever part had
    // open is closed) over the same file, whose top list holds records
    // first .. first + count - 1 of the current list with their names, in
    // order, none read yet: part reads them as this reader would, section
    // version included, and reads no byte outside them. Plain binary files
    // only, on disk or in memory; false (part left closed) for ASCII and
    // enciphered files, a range outside the list, or when this reader is
    // not reading. part holds what it needs of this reader but the file
    // itself: it may be read on another thread while this reader reads on
    // (each reader on one thread at a time), and is joined (FieldReadJoin)
    // or closed before this reader is closed.
    bool FieldReadSplit(KQox& part, int first, int count);
    // Takes back what part (made by FieldReadSplit) found: its error, when
    // it has one, becomes this reader's (false then), and the bytes it read
    // count for ProjectCheckIntegrity as if they were read here. part is
    // closed.
    bool FieldReadJoin(KQox& part);

protected:
    // ProjectCreate for a name that must not be taken yet: the file is
    // created exclusively (eFILE_NOT_CREATED when the name exists), and a
    // file left unfinished by a failed create is removed again. Writing a new
    // file is quicker than writing over one: ext4 writes the data of a file
    // truncated on opening out to disk when it is closed.
    bool ProjectCreateNew(const char* fileName, EForm form, int version, const char* password);

    // The values left in the current field of a binary file, decoded at
    // once into views and not taken (the reads above still take them one by
    // one): their number. Texts lie in the bytes read, valid until the next
    // read of a value or field. -1, nothing decoded, when there are more
    // than capacity, when one is not a scalar or a text or is damaged, for
    // ASCII files and with no field current: the reads above handle those
    // (and report the damage).
    int FieldPeekValues(ValueView* views, int capacity);
    // FieldReadEnd, then FieldReadBegin with the name of the field that was
    // current, without finding the name again when the next field has it
    // (fields of a name written one after the other). False, no field
    // current, when there is no next field of the name or none was current.
    bool FieldReadNextOfName();

private:
    std::unique_ptr<KQoxPrivate> mData;
};

#endif
