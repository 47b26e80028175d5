#ifndef ZELT_HOST_ZFN_PRIVATE_H
#define ZELT_HOST_ZFN_PRIVATE_H

// The checks the function-set families share.

#include "host/zfn.h"

#include <initializer_list>

namespace zelthost {

// "the function set is not attached to a valid object".
ZStatus NotAttached();
// Whether every value is a finite number.
bool Finite(std::initializer_list<double> values);
// "the value is not a finite number".
ZStatus NotFinite();
// The id of the node a new node goes under: 0 (the world) for a null parent;
// fails when the parent is not a node.
ZStatus ParentId(const ZObject& parent, uint64_t& id);

} // namespace zelthost

// The constructor and setObject of a function set that attaches to one kind
// of node.
#define ZFN_NODE_KIND(Class, kind)                                                                                     \
    Class::Class(const ZObject& object, ZStatus* status)                                                               \
    {                                                                                                                  \
        ZSetStatus(status, setObject(object));                                                                         \
    }                                                                                                                  \
    ZStatus Class::setObject(const ZObject& object)                                                                    \
    {                                                                                                                  \
        return mAttachStatus = Attach(object, kind);                                                                   \
    }

// The two constructors every DAG function set has: by object and by path.
#define ZFN_DAG_CONSTRUCTORS(Class)                                                                                    \
    Class::Class(const ZObject& object, ZStatus* status)                                                               \
    {                                                                                                                  \
        ZSetStatus(status, setObject(object));                                                                         \
    }                                                                                                                  \
    Class::Class(const ZDagPath& path, ZStatus* status)                                                                \
    {                                                                                                                  \
        ZSetStatus(status, ZFnDagNode::setObject(path));                                                               \
    }

#endif
