#ifndef QOX_PLUGIN_QOXZELTDIALOGS_H
#define QOX_PLUGIN_QOXZELTDIALOGS_H

// Modal host dialogs shown through the host's "confirmDialog" command, and
// the progress meter (which shows nothing). In messages a line break is
// written as the two characters backslash and n.

#include "base/kstring.h"
#include "host/zbase.h"

#include <functional>

// A dialog of up to three buttons; Pop returns the index of the one pressed.
class QoxZelt3ButtonDialog
{
public:
    QoxZelt3ButtonDialog();
    virtual ~QoxZelt3ButtonDialog() = default;

    void Title(const char* title) { mTitle = title ? title : ""; }
    void Message(const KString& message) { mMessage = message.ToChars(); }
    // Index 0 to MaxButtons() - 1; other indices are ignored.
    void Button(int index, const char* label);
    // The pressed button's index; -1 when the host could not show the dialog.
    int Pop();

    // The script text Pop issues.
    ZString Command() const;

protected:
    explicit QoxZelt3ButtonDialog(int maxButtons);
    int MaxButtons() const { return mMaxButtons; }

private:
    int mMaxButtons;
    std::string mTitle;
    std::string mMessage;
    std::string mButtons[3];
};

// The two-button form: message "Left empty" and one button "Ok" by default.
class QoxZeltConfirmDialog : public QoxZelt3ButtonDialog
{
public:
    QoxZeltConfirmDialog();
};

// Puts a text in a double-quoted script string: quotes and backslashes are
// escaped, line breaks become backslash-n.
std::string QoxZeltQuote(const std::string& text);

// Shows nothing: the labels the import hands it go nowhere, unless a listener
// is installed (tests use one to read the labels back).
class QoxZeltProgressMeter
{
public:
    using Listener = std::function<void(const char* label)>;

    // Resets the counters.
    void Reset(bool show = false, const char* windowName = nullptr);
    void Section(const char*) {}
    void Activate(const char* label);
    int GetStep() const { return mStep; }

    // Every meter's Activate calls the listener with its label; an empty
    // listener removes it. Returns the listener it replaces.
    static Listener SetListener(Listener listener);
    // Whether a listener is installed: labels made only to be shown can be
    // left unmade when nobody reads them.
    static bool Listening();

private:
    int mStep = 0;
};

#endif
