// Shared helpers of the 3DS chunk toolkit tests: databases written to and
// read from files, and the error stack as codes.
#ifndef QOX_TESTS_FORMATS_FTK3DS_TEST_UTIL_H
#define QOX_TESTS_FORMATS_FTK3DS_TEST_UTIL_H

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/qox_test_common.h"
#include "formats/ftk3ds/ftk3ds.h"

namespace ftktest {

// True when the last toolkit call failed, as a caller tests it.
inline bool Failed()
{
    return ftkerr3ds && !ignoreftkerr3ds;
}

inline std::vector<long> ErrorCodes()
{
    std::vector<long> codes;
    for (int i = 0; i < GetErrCount3ds(); ++i)
        codes.push_back(GetErrEntry3ds(i)->id);
    return codes;
}

// Every entry of the error stack, one a line.
inline std::string LastErrorText()
{
    std::string text;
    for (int i = 0; i < GetErrCount3ds(); ++i)
        text += std::string(i ? "\n" : "") + GetErrEntry3ds(i)->desc;
    return text;
}

// A fresh mesh-file database.
inline database3ds* NewDatabase()
{
    database3ds* db = nullptr;
    InitDatabase3ds(&db);
    CreateNewDatabase3ds(db, MeshFile3ds);
    return db;
}

// Writes `db` to `path`; false when the toolkit reports a failure.
inline bool WriteDb(database3ds* db, const std::string& path)
{
    file3ds* f = OpenFile3ds(path.c_str(), "wb");
    WriteDatabase3ds(f, db);
    CloseFile3ds(f);
    return !Failed();
}

// Reads the database of `path`, the file closed again; null on failure.
inline database3ds* ReadDb(const std::string& path)
{
    file3ds* f = OpenFile3ds(path.c_str(), "rb");
    database3ds* db = nullptr;
    InitDatabase3ds(&db);
    CreateDatabase3ds(f, db);
    CloseFile3ds(f);
    if (Failed())
        ReleaseDatabase3ds(&db);
    return db;
}

inline void SetName(char* field, size_t cap, const char* text)
{
    std::snprintf(field, cap, "%s", text);
}

} // namespace ftktest

#endif
