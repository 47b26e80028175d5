#ifndef QOX_CHARACTER_KQOXCHARACTER_H
#define QOX_CHARACTER_KQOXCHARACTER_H

// KQoxCharacter: a character of a scene.
//
// A character binds each of its 191 character node ids to a scene node with
// an offset (KQoxCharacterLink), names the object that drives it (its input)
// and owns its control set, its filter set of solver parameters and its
// property block (KQoxCharacterProperties), built in that order. Only a scene
// makes characters (KQoxScene::CreateCharacter, which adds "Constraint::").
//
// Every node a link names holds one record (this character, 0, id, 0); a node
// being destroyed clears the link's node through that record and leaves the
// rest of the link. Each named id's link also points at the node link
// property that mirrors it.

#include "base/kerror.h"
#include "base/kmath_types.h"
#include "base/kstring.h"
#include "character/kqoxcharacternodeid.h"
#include "scene/kqoxtakenodecontainer.h"

class KPropertyObjectList;

namespace qoxsdk_600 {

class KQoxCharacterProperties;
class KQoxControlSet;
class KQoxFilterSet;
class KQoxNode;

// One character node id's binding, exchanged by value.
class KQoxCharacterLink
{
public:
    KQoxCharacterLink();
    // The property link is not taken over.
    KQoxCharacterLink(const KQoxCharacterLink& link);
    // No node, empty template name, offsets T (0,0,0,1), R (0,0,0,1),
    // S (1,1,1,1), no property link.
    void Reset();
    // Copies node, template name and offsets; the property link stays.
    KQoxCharacterLink& operator=(const KQoxCharacterLink& link);
    // Set when it has a node or a template name.
    bool IsSet() const { return mNode || !mTemplateName.IsEmpty(); }

    KQoxNode* mNode; // not owned
    KString mTemplateName;
    KQoxVector4 mOffsetT;
    KQoxVector4 mOffsetR;
    KQoxVector4 mOffsetS;
    KPropertyObjectList* mPropertyLink; // the node link property; not owned
};

class KQoxCharacter : public KQoxTakeNodeContainer, public KQoxCharacterNodeIds
{
public:
    // What drives the character.
    enum ECharacterInputType : int
    {
        eActorInput = 0,     // keeps only an object of name space 6
        eCharacterInput = 1, // keeps only another character
        eNoInput = 4         // the value after construction and Reset
    };

    // name is used as given (the scene adds "Constraint::"). Builds the
    // control set, the filter set at its defaults, the properties, then the
    // "Default" take with channels for the 100 animatable properties.
    KQoxCharacter(KQoxSdkManager& manager, const char* name);
    // Unregisters every node, then destroys the properties, control set and
    // filter set.
    ~KQoxCharacter() override;

    // The property block's Destruct (the links first forget their node link
    // properties, which it destroys).
    void Destruct() override;
    ENameSpace GetNameSpace() const override { return eCHARACTER; }
    KQoxPropertyHandler* GetPropertyHandler() override;
    KQoxCharacterProperties* GetProperties() const { return mProperties; }
    // "Character", and a flag list with that single entry.
    KString GetTypeName() override;
    KStringList GetTypeFlags() override;
    void AddChannels(KQoxTakeNode* takeNode) override;
    KQoxUserProperty* CreateKQoxUserProperty(KProperty* property) override;

    // Empty initial name, no input, every link reset (node records removed;
    // each node link property emptied and kept), control set reset. The
    // filter set and the other properties stay.
    void Reset();

    // The object is kept only when it fits the type: type 0 an object of
    // name space 6, type 1 another character. The type is always stored.
    void SetInput(ECharacterInputType type, KQoxObject* object);
    ECharacterInputType GetInputType() const { return mInputType; }
    // The stored object when it still fits the stored type, else null.
    KQoxObject* GetInputObject() const;

    // Replaces the link of an id (false outside 0 to 190, nothing changed):
    // the old node's record goes, the new node's is appended. With
    // updateProperty, the node link property follows: entry 0 becomes the
    // node's property block, or the property is emptied.
    bool SetCharacterLink(ECharacterNodeId id, const KQoxCharacterLink& link, bool updateProperty = true);
    // False outside 0 to 190 and for a link that is not set; copies into a
    // non-null out-link (whose property link stays).
    bool GetCharacterLink(ECharacterNodeId id, KQoxCharacterLink* link) const;

    KQoxControlSet* GetControlSet() const { return mControlSet; }
    KQoxFilterSet* GetFilterSet() const { return mFilterSet; }

    // Takes over the name (same name space), the input, every link that is
    // set in the source, the filter set (then refreshes the properties from
    // it) and the control set's type, links, effectors and auxiliary set 1.
    KQoxCharacter& operator=(KQoxCharacter& character);

    // The character's error record; its only message is "internal error".
    KError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString(); }

    // The node-destruction hook: clears, in the character's tables, the slot
    // that a record names when it still holds the node.
    static void ClearNodeReference(KQoxCharacter* character, int type, int index, int subIndex, KQoxNode* node);

private:
    friend class KQoxCharacterProperties;
    // The link slot of an id, or null outside 0 to 190.
    KQoxCharacterLink* LinkSlot(int id);
    // Removes the id's node record and resets the link; the property link
    // stays.
    void ResetLink(int id);

    KQoxCharacterProperties* mProperties; // owned
    KError mError;
    ECharacterInputType mInputType;
    KQoxObject* mInputObject; // not owned
    KQoxCharacterLink mLinks[kCharacterNodeIdCount];
    KQoxControlSet* mControlSet; // owned
    KQoxFilterSet* mFilterSet;   // owned
};

} // namespace qoxsdk_600

#endif
