#ifndef QOX_FILEIO_KQOXSTREAMOPTIONSQOX_H
#define QOX_FILEIO_KQOXSTREAMOPTIONSQOX_H

// The option set of the native formats: one switch per part of a scene that
// is read or written (the importer's and exporter's states; option n is state
// n - 1), the take to make current and the password of encrypted files. The
// reader also takes the list of takes to read.

#include <vector>

#include "base/kstring.h"
#include "object/kstream.h"

namespace qoxsdk_600 {

class KQoxFileHandler;

class KStreamOptionsQox : public KStreamOptions
{
public:
    // The states, shared by importer and exporter.
    enum EState
    {
        eMODEL = 0,           // nodes and their attributes
        eMATERIAL = 1,        // materials
        eTEXTURE = 2,         // textures and video clips
        eLINK = 3,            // skin links and deformers
        eSHAPE = 4,           // shapes
        eCHARACTER = 5,       // characters, control sets and poses
        eANIMATION = 6,       // the takes' animation
        eGLOBAL_SETTINGS = 7, // scene information and global settings
        eMEDIA = 8,           // media files embedded in the file
        eSTATE_COUNT = 9
    };

    KStreamOptionsQox();
    ~KStreamOptionsQox() override {}

    // Every state on, no take name, no password, every take read.
    void Reset() override;

    // The native set a read or write of handler's file goes by: defaults when
    // options is null. Null, with handler's error set, when its file is not
    // open (notOpenCode) or options are of another kind (notSetCode).
    static const KStreamOptionsQox* ForTransfer(KQoxFileHandler& handler, KStreamOptions* options,
                                                const KStreamOptionsQox& defaults, int notOpenCode, int notSetCode);

    // Option 1 to eSTATE_COUNT (state + 1); false for any other number.
    bool GetOption(int option) const;
    void SetOption(int option, bool on);
    bool GetState(int state) const { return GetOption(state + 1); }
    void SetState(int state, bool on) { SetOption(state + 1, on); }

    // The take made current after reading, or the one a take file holds.
    void SetTakeName(const char* name) { mTakeName = name ? name : ""; }
    const char* GetTakeName() const { return mTakeName.ToChars(); }

    // The password of an encrypted file (empty: the empty password).
    void SetPassword(const char* password) { mPassword = password ? password : ""; }
    const char* GetPassword() const { return mPassword.ToChars(); }

    // Reading: the names of the takes whose animation is read. When
    // mAllTakes is true every take is read and the list is not consulted.
    bool mAllTakes = true;
    std::vector<KString> mSelectedTakes;
    bool IsTakeSelected(const char* name) const;

private:
    bool mStates[eSTATE_COUNT];
    KString mTakeName;
    KString mPassword;
};

} // namespace qoxsdk_600

#endif
