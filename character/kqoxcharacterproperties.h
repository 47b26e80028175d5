#ifndef QOX_CHARACTER_KQOXCHARACTERPROPERTIES_H
#define QOX_CHARACTER_KQOXCHARACTERPROPERTIES_H

// KQoxCharacterProperties: the property block of a character.
//
// It exposes the solver settings and read-outs of one character as 191 typed
// properties (kqoxcharacterproperties_table.h gives each one's name, type,
// flags, setter and solver parameter), followed in the property list by one
// node link property per named character node id ("%sLink", 187 of them, each
// keeping its node id in its plug's user word) and the five object lists
// "SourceObject", "DestinationObject", "Actor", "Character" and "ControlSet":
// 383 properties in a fixed order.
//
// Setters store their value and, as the table says, hand it to the
// character's filter set; FilterSetToProperties copies the other way.
// Connecting a node's property block as the source of a node link property
// links that node to the character; connecting a control-set plug's block to
// "ControlSet" loads the character's control set from the plug.

#include "base/kmath_kernels.h"
#include "character/kcharacterenums.h"
#include "character/kqoxcharacterproperties_table.h"
#include "character/kqoxcontrolsetplug.h"
#include "object/kpropertylist.h"
#include "scene/kqoxpropertyhandler.h"

namespace qoxsdk_600 {

class KQoxCharacter;

// Which declarations a row's type gets: the enumeration rows alone have a
// to-text function.
#define QOX_CP_KIND_bool                          PLAIN
#define QOX_CP_KIND_double                        PLAIN
#define QOX_CP_KIND_KgeTVector                    VECTOR
#define QOX_CP_KIND_kCharacterPosture             ENUM
#define QOX_CP_KIND_kCharacterOffAutoUser         ENUM
#define QOX_CP_KIND_kCharacterAutoUser            ENUM
#define QOX_CP_KIND_kCharacterRollExtractionMode  ENUM
#define QOX_CP_KIND_kCharacterFloorPivot          ENUM
#define QOX_CP_KIND_kCharacterFloorContactType    ENUM
#define QOX_CP_KIND_kCharacterFingerContactMode   ENUM
#define QOX_CP_KIND_kCharacterHipsTranslationMode ENUM
#define QOX_CP_KIND_kCharacterContactBehaviour    ENUM
#define QOX_CP_CAT2(a, b)                         a##b
#define QOX_CP_CAT(a, b)                          QOX_CP_CAT2(a, b)

class KQoxCharacterProperties : public KQoxPropertyHandler
{
    KPLUG_CLASS_DECLARE(KQoxCharacterProperties)
public:
    static const char* const ClassName;

    // The number of typed properties, node link properties and all properties.
    static const int kTypedPropertyCount = 191;
    static const int kNodeLinkPropertyCount = 187;
    static const int kPropertyCount = 383;

    // Builds every property of the character (not owned), which must already
    // own its links and filter set: the typed properties with their flags,
    // "Active", "Lock" and "Weight" set through the property system, the rest
    // from the filter set, then the node link properties (each recorded in the
    // character's link of its id) and the five object lists.
    explicit KQoxCharacterProperties(KQoxCharacter* character);
    ~KQoxCharacterProperties() override;

    // The character's take-node container learns of the changed default.
    void DefaultValueChanged(KQoxUserProperty* property) override;
    KQoxObject* GetKQoxObject() override;
    KQoxCharacter* GetKQoxCharacter() const { return mCharacter; }

    // Node link properties and "ControlSet" turn connections into character
    // changes (see the .cpp); every other event goes to KObject::PlugNotify.
    bool PlugNotify(KPlugCallstack* callstack, kPlugAction action, KPlug* plug, int index, KPlug* other,
                    kConnectionType type, KPlug* extra) override;

    // Takes every mapped setting of the character's filter set into the
    // properties: 184 properties, each from its parameter's value or mode. The
    // filter set is left as it was.
    void FilterSetToProperties();

    // Accessors of the typed properties. A getter returns the held value (the
    // offsets with a fourth component of 1). A setter clamps where its row
    // says, stores, then hands the stored value or mode to the filter set.
#define QOX_CP_SET_RW(name, type) virtual void name##Set(type value);
#define QOX_CP_SET_RO(name, type)
#define QOX_CP_TEXT_PLAIN(name)
#define QOX_CP_TEXT_VECTOR(name)
#define QOX_CP_TEXT_ENUM(name) char* name##AsString(int value);
#define QOX_CP_DECLARE(name, type, access, anim, setter, param, from, write, text)                                     \
    QOX_CP_SET_##access(name, type) virtual type name##Get();                                                          \
    QOX_CP_CAT(QOX_CP_TEXT_, QOX_CP_KIND_##type)(name)
    QOX_CHARACTER_PROPERTIES(QOX_CP_DECLARE)
#undef QOX_CP_DECLARE
#undef QOX_CP_TEXT_ENUM
#undef QOX_CP_TEXT_PLAIN
#undef QOX_CP_TEXT_VECTOR
#undef QOX_CP_SET_RO
#undef QOX_CP_SET_RW

    // The five object lists: Set replaces the connection at the index (or
    // adds one past the end) and returns whether it succeeded; Get returns
    // the object connected at the index, or null.
    bool SourceObjectSet(int index, KObject* object);
    KObject* SourceObjectGet(int index);
    bool DestinationObjectSet(int index, KObject* object);
    KObject* DestinationObjectGet(int index);
    bool ActorSet(int index, KObject* object);
    KObject* ActorGet(int index);
    bool CharacterSet(int index, KObject* object);
    KObject* CharacterGet(int index);
    bool ControlSetSet(int index, KObject* object);
    KObject* ControlSetGet(int index);

    // The node link property of a node id, or null (no name, out of range).
    KPropertyObjectList* GetNodeLinkProperty(int id) const;

    // The typed properties, in table order.
#define QOX_CP_MEMBER(name, type, access, anim, setter, param, from, write, text)                                      \
    KQoxControlSetPlugProperties::Value<type> m##name;
    QOX_CHARACTER_PROPERTIES(QOX_CP_MEMBER)
#undef QOX_CP_MEMBER

    KPropertyObjectList mSourceObject;
    KPropertyObjectList mDestinationObject;
    KPropertyObjectList mActor;
    KPropertyObjectList mCharacterList;
    KPropertyObjectList mControlSet;

private:
    void DeclareTypedProperties();
    void CreateNodeLinkProperties();
    void DeclareObjectList(KPropertyObjectList& list, const char* name, KPlug::kType plugType,
                           KPlug::kDirection direction, KObject* (KQoxCharacterProperties::*getter)(int),
                           bool (KQoxCharacterProperties::*setter)(int, KObject*));
    bool NodeLinkNotify(kPlugAction action, KPlug* plug, KPlug* other);

    KQoxCharacter* mCharacter; // not owned
};

} // namespace qoxsdk_600

#endif
