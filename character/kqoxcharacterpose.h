#ifndef QOX_CHARACTER_KQOXCHARACTERPOSE_H
#define QOX_CHARACTER_KQOXCHARACTERPOSE_H

// KQoxCharacterPose: a character kept in a posed state in a scene of its own.
//
// The pose owns a private scene (made through its manager, so listed there
// too) whose root holds a copy of a node hierarchy and which has one
// character, "Constraint::PoseCharacter", whose links and control set point
// into that copy. The native file reads and writes the pose through its scene
// (GetScene); assignment from another pose copies the other's hierarchy and
// character, resolving nodes by name.

#include "scene/kqoxobject.h"

namespace qoxsdk_600 {

class KQoxCharacter;
class KQoxNode;
class KQoxScene;

class KQoxCharacterPose : public KQoxObject
{
public:
    // name is used as given (the scene adds "Pose::"). Creates the pose's
    // scene and resets it.
    KQoxCharacterPose(KQoxSdkManager& manager, const char* name);
    // Destroys the pose's scene with its whole hierarchy.
    ~KQoxCharacterPose() override;

    ENameSpace GetNameSpace() const override { return eCHARACTER_POSE; }

    // Empties the pose's scene (its nodes, characters, control-set plugs and
    // poses go) and gives it one new character, "PoseCharacter".
    void Reset();
    // The root node of the pose's scene; null only when no scene could be made.
    KQoxNode* GetRootNode() const;
    // The scene's first character, or null.
    KQoxCharacter* GetCharacter() const;
    // The pose's own scene, which the native file imports into and exports.
    KQoxScene* GetScene() const { return mScene; }

    // Copies the name, then the other pose's hierarchy beside this pose's
    // nodes, then its character onto this pose's character, resolving nodes
    // below this pose's root. Assigning a pose to itself changes nothing.
    KQoxCharacterPose& operator=(KQoxCharacterPose& pose);
    // Copies the subtree below source under destination, depth-first, each
    // node made through the pose's manager. Nothing is copied when the
    // destination lies inside the source's subtree (or is the source).
    void CopyNode(KQoxNode* source, KQoxNode* destination);
    // Copies input, links, filter set (the properties follow), control-set
    // settings, links, effectors and auxiliary set 1 from source to
    // destination; each node is replaced by its namesake below root (current
    // names, depth-first, first match). Nothing happens when either character
    // or the root is missing.
    void CopyCharacter(KQoxCharacter* source, KQoxCharacter* destination, KQoxNode* root);

private:
    KQoxScene* mScene; // owned; made and destroyed through the manager
};

} // namespace qoxsdk_600

#endif
