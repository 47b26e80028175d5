#ifndef ZELT_HOST_ZGLOBAL_H
#define ZELT_HOST_ZGLOBAL_H

// Global services of the host: running script texts, the active selection
// and node deletion.

#include "host/zbase.h"
#include "host/zdag.h"

class ZGlobal
{
public:
    // Runs one script text (commands separated by ";" or line breaks). The
    // display flag echoes the text; undo is not kept. The result of the last
    // command comes back in the chosen form: its strings, its first string,
    // or its first string read as a number. A failure stops the text there.
    static ZStatus executeCommand(const ZString& command, bool displayEnabled = false, bool undoEnabled = false);
    static ZStatus executeCommand(const ZString& command, ZStringArray& result, bool displayEnabled = false,
                                  bool undoEnabled = false);
    static ZStatus executeCommand(const ZString& command, ZString& result, bool displayEnabled = false,
                                  bool undoEnabled = false);
    static ZStatus executeCommand(const ZString& command, int& result, bool displayEnabled = false,
                                  bool undoEnabled = false);
    static ZStatus executeCommand(const ZString& command, double& result, bool displayEnabled = false,
                                  bool undoEnabled = false);

    static ZStatus getActiveSelectionList(ZSelectionList& list);
    static ZStatus setActiveSelectionList(const ZSelectionList& list);
    // Deletes a node, or forgets an attribute object that was never added.
    static ZStatus deleteNode(ZObject& object);
    static ZStatus displayError(const ZString& text);
    static ZStatus displayWarning(const ZString& text);
    static ZStatus displayInfo(const ZString& text);
    static bool isBatchMode();
    static ZString apiVersion();
};

#endif
