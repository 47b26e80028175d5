#ifndef ZELT_HOST_ZFN_H
#define ZELT_HOST_ZFN_H

// Function sets: typed views of host objects. A function set is attached to
// an object (or a DAG path); attaching to an object of the wrong kind fails
// with a status, and every later call then fails the same way.

#include "host/zbase.h"
#include "host/zdag.h"

class ZFnBase
{
public:
    virtual ~ZFnBase() = default;
    virtual ZFn::Type type() const { return ZFn::kBase; }
    ZObject object(ZStatus* status = nullptr) const;
    virtual ZStatus setObject(const ZObject& object);
    bool hasObj(const ZObject& object) const;

protected:
    // Accepts the object when it supports the set's type.
    ZStatus Attach(const ZObject& object, ZFn::Type need);
    ZStatus Check() const; // the attached object still exists
    ZObject mObject;
};

class ZFnDependencyNode : public ZFnBase
{
public:
    enum ZAttrClass
    {
        kLocalDynamicAttr = 1,
        kNormalAttr = 2,
        kExtensionAttr = 3
    };
    ZFnDependencyNode() = default;
    ZFnDependencyNode(const ZObject& object, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kDependencyNode; }
    ZStatus setObject(const ZObject& object) override;
    // A DG node of a registered type ("phong", "file", "objectSet", ...).
    ZObject create(const ZString& typeName, const ZString& name = ZString(), ZStatus* status = nullptr);

    ZString name(ZStatus* status = nullptr) const;
    // Renames; the host makes the name unique and returns the name kept.
    ZString setName(const ZString& name, bool createNamespace = false, ZStatus* status = nullptr);
    ZString setName(const ZString& name, ZStatus* status) { return setName(name, false, status); }
    ZString typeName(ZStatus* status = nullptr) const;

    ZPlug findPlug(const ZString& attribute, ZStatus* status = nullptr) const;
    ZPlug findPlug(const ZObject& attribute, ZStatus* status = nullptr) const;
    ZObject attribute(const ZString& name, ZStatus* status = nullptr) const;
    ZObject attribute(unsigned index, ZStatus* status = nullptr) const;
    unsigned attributeCount(ZStatus* status = nullptr) const;
    bool hasAttribute(const ZString& name, ZStatus* status = nullptr) const;
    // Adds an attribute made with ZFnNumericAttribute; a name already in use
    // answers kInvalidParameter (code 3).
    ZStatus addAttribute(const ZObject& attribute, ZAttrClass type = kLocalDynamicAttr);
    ZStatus removeAttribute(const ZObject& attribute, ZAttrClass type = kLocalDynamicAttr);
    ZStatus getConnections(ZPlugArray& plugs) const;
    bool isLocked(ZStatus* status = nullptr) const { return ZSetStatus(status, Check()), false; }

protected:
    ZStatus mAttachStatus;
};

class ZFnDagNode : public ZFnDependencyNode
{
public:
    ZFnDagNode() = default;
    ZFnDagNode(const ZObject& object, ZStatus* status = nullptr);
    ZFnDagNode(const ZDagPath& path, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kDagNode; }
    ZStatus setObject(const ZObject& object) override;
    ZStatus setObject(const ZDagPath& path);

    // A DAG node of a registered type under parent (kNullObj: the world). A
    // shape without a parent gets a new transform, which is returned.
    ZObject create(const ZString& typeName, const ZObject& parent = ZObject::kNullObj, ZStatus* status = nullptr);
    ZObject create(const ZString& typeName, const ZString& name, const ZObject& parent = ZObject::kNullObj,
                   ZStatus* status = nullptr);

    unsigned parentCount(ZStatus* status = nullptr) const;
    ZObject parent(unsigned index, ZStatus* status = nullptr) const;
    unsigned childCount(ZStatus* status = nullptr) const;
    ZObject child(unsigned index, ZStatus* status = nullptr) const;
    // Adds child under this node; with keepExistingParents the child becomes
    // an instance (one more path) instead of moving.
    ZStatus addChild(ZObject& child, unsigned index = 0xffffffffu, bool keepExistingParents = false);
    ZStatus removeChild(ZObject& child);
    ZStatus getPath(ZDagPath& path) const;
    ZDagPath dagPath(ZStatus* status = nullptr) const;
    ZStatus getAllPaths(ZDagPathArray& paths) const;
    ZString fullPathName(ZStatus* status = nullptr) const;
    ZString partialPathName(ZStatus* status = nullptr) const;
    bool isInstanced(bool indirect = true, ZStatus* status = nullptr) const;
    bool isIntermediateObject(ZStatus* status = nullptr) const;
    ZStatus setIntermediateObject(bool intermediate);
    ZMatrix transformationMatrix(ZStatus* status = nullptr) const;

protected:
    // Attaches to a node without a path: the one step of every DAG function
    // set's setObject.
    ZStatus AttachNode(const ZObject& object, ZFn::Type need);

    ZDagPath mPath;
    bool mHasPath = false;
};

class ZEulerRotation
{
public:
    enum RotationOrder
    {
        kXYZ = 0,
        kYZX = 1,
        kZXY = 2,
        kXZY = 3,
        kYXZ = 4,
        kZYX = 5
    };
    ZEulerRotation() = default;
    ZEulerRotation(double rx, double ry, double rz, RotationOrder order = kXYZ)
        : x(rx)
        , y(ry)
        , z(rz)
        , order(order)
    {}
    // Rotation matrix for row vectors: the first axis of the order turns first.
    ZMatrix asMatrix() const;
    // Angles (radians) of a rotation matrix in an order.
    static ZEulerRotation decompose(const ZMatrix& matrix, RotationOrder order);
    // The same orientation expressed in another order.
    ZEulerRotation reorder(RotationOrder newOrder) const;
    ZEulerRotation& reorderIt(RotationOrder newOrder) { return *this = reorder(newOrder); }
    bool isEquivalent(const ZEulerRotation& other, double tolerance = 1e-10) const;
    double x = 0, y = 0, z = 0; // radians
    RotationOrder order = kXYZ;
};

// Translation, rotation, scale and pivots of a transform as one value.
class ZTransformationMatrix
{
public:
    enum RotationOrder
    {
        kInvalid = 0,
        kXYZ = 1,
        kYZX = 2,
        kZXY = 3,
        kXZY = 4,
        kYXZ = 5,
        kZYX = 6,
        kLast = 7
    };
    ZTransformationMatrix() = default;
    ZMatrix asMatrix() const;
    ZVector translation(ZSpace::Space space = ZSpace::kTransform, ZStatus* status = nullptr) const;
    ZStatus setTranslation(const ZVector& t, ZSpace::Space space = ZSpace::kTransform);
    ZStatus getRotation(double angles[3], RotationOrder& order, ZSpace::Space space = ZSpace::kTransform) const;
    ZStatus setRotation(const double angles[3], RotationOrder order, ZSpace::Space space = ZSpace::kTransform);
    ZEulerRotation eulerRotation(ZStatus* status = nullptr) const;
    ZStatus getRotationQuaternion(double& x, double& y, double& z, double& w) const;
    ZStatus setRotationQuaternion(double x, double y, double z, double w);
    RotationOrder rotationOrder(ZStatus* status = nullptr) const;
    // Expresses the rotation in another order, keeping the orientation.
    ZStatus reorderRotation(RotationOrder order);
    ZStatus getScale(double scale[3], ZSpace::Space space = ZSpace::kTransform) const;
    ZStatus setScale(const double scale[3], ZSpace::Space space = ZSpace::kTransform);

    static ZEulerRotation::RotationOrder ToEuler(RotationOrder order);
    static RotationOrder FromEuler(ZEulerRotation::RotationOrder order);

    double t[3] = {0, 0, 0};
    ZEulerRotation r;
    double s[3] = {1, 1, 1};
    double rp[3] = {0, 0, 0}, rpt[3] = {0, 0, 0}, sp[3] = {0, 0, 0}, spt[3] = {0, 0, 0};
    double ra[3] = {0, 0, 0}; // rotate axis (radians, XYZ)
};

class ZFnTransform : public ZFnDagNode
{
public:
    ZFnTransform() = default;
    ZFnTransform(const ZObject& object, ZStatus* status = nullptr);
    ZFnTransform(const ZDagPath& path, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kTransform; }
    ZStatus setObject(const ZObject& object) override;
    using ZFnDagNode::setObject;
    // A new transform under parent (kNullObj: the world).
    ZObject create(const ZObject& parent = ZObject::kNullObj, ZStatus* status = nullptr);

    ZTransformationMatrix transformation(ZStatus* status = nullptr) const;
    ZStatus set(const ZTransformationMatrix& transform);
    ZVector getTranslation(ZSpace::Space space, ZStatus* status = nullptr) const;
    ZVector translation(ZSpace::Space space, ZStatus* status = nullptr) const { return getTranslation(space, status); }
    ZStatus setTranslation(const ZVector& t, ZSpace::Space space);
    ZStatus getRotation(ZEulerRotation& rotation) const;
    ZStatus getRotation(double angles[3], ZTransformationMatrix::RotationOrder& order) const;
    ZStatus setRotation(const ZEulerRotation& rotation);
    ZStatus setRotation(const double angles[3], ZTransformationMatrix::RotationOrder order);
    ZStatus getRotationQuaternion(double& x, double& y, double& z, double& w, ZSpace::Space = ZSpace::kTransform) const;
    ZStatus setRotationQuaternion(double x, double y, double z, double w, ZSpace::Space = ZSpace::kTransform);
    ZStatus getScale(double scale[3]) const;
    ZStatus setScale(const double scale[3]);
    ZPoint rotatePivot(ZSpace::Space space, ZStatus* status = nullptr) const;
    ZStatus setRotatePivot(const ZPoint& point, ZSpace::Space space, bool balance);
    ZVector rotatePivotTranslation(ZSpace::Space space, ZStatus* status = nullptr) const;
    ZStatus setRotatePivotTranslation(const ZVector& v, ZSpace::Space space);
    ZPoint scalePivot(ZSpace::Space space, ZStatus* status = nullptr) const;
    ZStatus setScalePivot(const ZPoint& point, ZSpace::Space space, bool balance);
    ZVector scalePivotTranslation(ZSpace::Space space, ZStatus* status = nullptr) const;
    ZStatus setScalePivotTranslation(const ZVector& v, ZSpace::Space space);
    ZTransformationMatrix::RotationOrder rotationOrder(ZStatus* status = nullptr) const;
    // With reorder the orientation is kept and the angles change.
    ZStatus setRotationOrder(ZTransformationMatrix::RotationOrder order, bool reorder);
};

class ZFnIkJoint : public ZFnTransform
{
public:
    ZFnIkJoint() = default;
    ZFnIkJoint(const ZObject& object, ZStatus* status = nullptr);
    ZFnIkJoint(const ZDagPath& path, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kJoint; }
    ZStatus setObject(const ZObject& object) override;
    using ZFnDagNode::setObject;
    ZObject create(const ZObject& parent = ZObject::kNullObj, ZStatus* status = nullptr);
    ZStatus getOrientation(double angles[3], ZTransformationMatrix::RotationOrder& order) const;
    ZStatus setOrientation(const double angles[3], ZTransformationMatrix::RotationOrder order);
};

class ZFnAttribute : public ZFnBase
{
public:
    ZFnAttribute() = default;
    ZFnAttribute(const ZObject& attribute, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kAttribute; }
    ZStatus setObject(const ZObject& object) override;
    ZString name(ZStatus* status = nullptr) const;
    ZString shortName(ZStatus* status = nullptr) const;
    ZStatus setHidden(bool hidden);
    ZStatus setKeyable(bool keyable);
    ZStatus setInternal(bool internal);
    ZStatus setStorable(bool storable);
    ZStatus setConnectable(bool connectable);
    bool isHidden(ZStatus* status = nullptr) const;
    bool isKeyable(ZStatus* status = nullptr) const;
    bool isStorable(ZStatus* status = nullptr) const;
    bool isConnectable(ZStatus* status = nullptr) const;
    bool isArray(ZStatus* status = nullptr) const;
};

class ZFnNumericData
{
public:
    enum Type
    {
        kInvalid = 0,
        kBoolean = 1,
        kByte = 2,
        kChar = 3,
        kShort = 4,
        k2Short = 5,
        k3Short = 6,
        kInt = 7,
        kLong = 7,
        k2Int = 8,
        k3Int = 9,
        kFloat = 10,
        k2Float = 11,
        k3Float = 12,
        kDouble = 13,
        k2Double = 14,
        k3Double = 15,
        kLast = 16
    };
};

class ZFnNumericAttribute : public ZFnAttribute
{
public:
    ZFnNumericAttribute() = default;
    ZFnNumericAttribute(const ZObject& attribute, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kNumericAttribute; }
    ZStatus setObject(const ZObject& object) override;
    // A new attribute, not yet on a node (ZFnDependencyNode::addAttribute).
    // Three-part types get the children name + "X", "Y", "Z".
    ZObject create(const ZString& longName, const ZString& shortName, ZFnNumericData::Type type,
                   double defaultValue = 0.0, ZStatus* status = nullptr);
    // A colour: three floats with children name + "R", "G", "B".
    ZObject createColor(const ZString& longName, const ZString& shortName, ZStatus* status = nullptr);
    ZFnNumericData::Type unitType(ZStatus* status = nullptr) const;
    ZStatus setSoftMin(double value);
    ZStatus setSoftMax(double value);
    ZStatus setDefault(double value);
    bool hasSoftMin(ZStatus* status = nullptr) const;
    bool hasSoftMax(ZStatus* status = nullptr) const;
    ZStatus getSoftMin(double& value) const;
    ZStatus getSoftMax(double& value) const;
};

// A 4x4 matrix value for matrix attributes.
class ZFnMatrixData : public ZFnBase
{
public:
    ZFnMatrixData() = default;
    ZFnMatrixData(const ZObject& data, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kMatrixData; }
    ZStatus setObject(const ZObject& object) override;
    ZObject create(const ZMatrix& matrix = ZMatrix(), ZStatus* status = nullptr);
    ZMatrix matrix(ZStatus* status = nullptr) const;
    ZStatus set(const ZMatrix& matrix);
};

// Components: indices of vertices (533), faces, or NURBS control vertices
// as (u, v) pairs (521).
class ZFnComponent : public ZFnBase
{
public:
    ZFnComponent() = default;
    ZFnComponent(const ZObject& component, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kComponent; }
    ZStatus setObject(const ZObject& object) override;
    int elementCount(ZStatus* status = nullptr) const;
    bool isComplete(ZStatus* status = nullptr) const;
    bool isEmpty(ZStatus* status = nullptr) const { return elementCount(status) == 0; }
    ZFn::Type componentType(ZStatus* status = nullptr) const;
};

class ZFnSingleIndexedComponent : public ZFnComponent
{
public:
    ZFnSingleIndexedComponent() = default;
    ZFnSingleIndexedComponent(const ZObject& component, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kSingleIndexedComponent; }
    ZStatus setObject(const ZObject& object) override;
    ZObject create(ZFn::Type componentType, ZStatus* status = nullptr);
    ZStatus addElement(int index);
    ZStatus addElements(const ZIntArray& indices);
    int element(unsigned position, ZStatus* status = nullptr) const;
    ZStatus getElements(ZIntArray& indices) const;
    // Every index from 0 to count - 1.
    ZStatus setCompleteData(int count);
};

class ZFnDoubleIndexedComponent : public ZFnComponent
{
public:
    ZFnDoubleIndexedComponent() = default;
    ZFnDoubleIndexedComponent(const ZObject& component, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kDoubleIndexedComponent; }
    ZStatus setObject(const ZObject& object) override;
    ZObject create(ZFn::Type componentType, ZStatus* status = nullptr);
    ZStatus addElement(int u, int v);
    ZStatus addElements(const ZIntArray& u, const ZIntArray& v);
    ZStatus getElement(unsigned position, int& u, int& v) const;
    ZStatus setCompleteData(int countU, int countV);
};

// Sets (object sets, shading groups, deformer sets): members are whole
// nodes or components.
class ZFnSet : public ZFnDependencyNode
{
public:
    ZFnSet() = default;
    ZFnSet(const ZObject& set, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kSet; }
    ZStatus setObject(const ZObject& object) override;
    ZStatus addMembers(const ZSelectionList& list);
    ZStatus addMember(const ZDagPath& path, const ZObject& component = ZObject::kNullObj);
    ZStatus addMember(const ZObject& node);
    ZStatus getMembers(ZSelectionList& members, bool flatten = false) const;
    bool isMember(const ZDagPath& path, const ZObject& component = ZObject::kNullObj, ZStatus* status = nullptr) const;
};

class ZFnSkinCluster : public ZFnDependencyNode
{
public:
    ZFnSkinCluster() = default;
    ZFnSkinCluster(const ZObject& skin, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kSkinClusterFilter; }
    ZStatus setObject(const ZObject& object) override;
    // The logical index of an influence (a joint's path); fails for others.
    unsigned indexForInfluenceObject(const ZDagPath& influence, ZStatus* status = nullptr) const;
    unsigned influenceObjects(ZDagPathArray& paths, ZStatus* status = nullptr) const;
    // Weights for the components of the deformed geometry: one per component
    // element and influence (element-major). With normalize, the other
    // influences of each point are scaled so that the point's weights sum to 1
    // (a point whose other influences hold nothing keeps the weights given).
    ZStatus setWeights(const ZDagPath& geometry, const ZObject& components, const ZIntArray& influenceIndices,
                       const ZFloatArray& weights, bool normalize = true, ZFloatArray* oldValues = nullptr);
    ZStatus setWeights(const ZDagPath& geometry, const ZObject& components, const ZIntArray& influenceIndices,
                       const ZDoubleArray& weights, bool normalize = true, ZDoubleArray* oldValues = nullptr);
    // One point's weights by influence logical index (0 where none).
    ZStatus getWeights(unsigned point, ZDoubleArray& weights) const;
};

class ZFnCamera : public ZFnDagNode
{
public:
    enum FilmFit
    {
        kFillFilmFit = 0,
        kHorizontalFilmFit = 1,
        kVerticalFilmFit = 2,
        kOverscanFilmFit = 3
    };
    ZFnCamera() = default;
    ZFnCamera(const ZObject& object, ZStatus* status = nullptr);
    ZFnCamera(const ZDagPath& path, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kCamera; }
    ZStatus setObject(const ZObject& object) override;
    using ZFnDagNode::setObject;
    ZStatus setLensSqueezeRatio(double value);
    ZStatus setClippingPlanes(bool on);
    ZStatus setNearClippingPlane(double value);
    ZStatus setFarClippingPlane(double value);
    ZStatus setFocalLength(double value);
    ZStatus setIsOrtho(bool ortho);
    ZStatus setFilmFit(int fit);
    ZStatus setVerticalFilmAperture(double value);
    ZStatus setHorizontalFilmAperture(double value);
    ZStatus setFocusDistance(double value);
    double lensSqueezeRatio(ZStatus* status = nullptr) const;
    double nearClippingPlane(ZStatus* status = nullptr) const;
    double farClippingPlane(ZStatus* status = nullptr) const;
    double focalLength(ZStatus* status = nullptr) const;
    bool isOrtho(ZStatus* status = nullptr) const;
    int filmFit(ZStatus* status = nullptr) const;
    double verticalFilmAperture(ZStatus* status = nullptr) const;
    double horizontalFilmAperture(ZStatus* status = nullptr) const;
    double focusDistance(ZStatus* status = nullptr) const;
};

class ZFnLight : public ZFnDagNode
{
public:
    ZFnLight() = default;
    ZFnLight(const ZObject& object, ZStatus* status = nullptr);
    ZFnLight(const ZDagPath& path, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kLight; }
    ZStatus setObject(const ZObject& object) override;
    using ZFnDagNode::setObject;
    ZColor color(ZStatus* status = nullptr) const;
    ZStatus setColor(const ZColor& color);
    float intensity(ZStatus* status = nullptr) const;
    ZStatus setIntensity(float intensity);

protected:
    // A light shape of typeName; with addTransform under a new transform.
    ZObject CreateLight(const char* typeName, const ZObject& parent, bool addTransform, ZStatus* status);
};

class ZFnPointLight : public ZFnLight
{
public:
    ZFnPointLight() = default;
    ZFnPointLight(const ZObject& object, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kPointLight; }
    ZStatus setObject(const ZObject& object) override;
    using ZFnDagNode::setObject;
    ZObject create(const ZObject& parent = ZObject::kNullObj, bool addTransform = true, ZStatus* status = nullptr);
};

class ZFnDirectionalLight : public ZFnLight
{
public:
    ZFnDirectionalLight() = default;
    ZFnDirectionalLight(const ZObject& object, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kDirectionalLight; }
    ZStatus setObject(const ZObject& object) override;
    using ZFnDagNode::setObject;
    ZObject create(const ZObject& parent = ZObject::kNullObj, bool addTransform = true, ZStatus* status = nullptr);
};

class ZFnSpotLight : public ZFnLight
{
public:
    ZFnSpotLight() = default;
    ZFnSpotLight(const ZObject& object, ZStatus* status = nullptr);
    ZFnSpotLight(const ZDagPath& path, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kSpotLight; }
    ZStatus setObject(const ZObject& object) override;
    using ZFnDagNode::setObject;
    ZObject create(const ZObject& parent = ZObject::kNullObj, bool addTransform = true, ZStatus* status = nullptr);
    double coneAngle(ZStatus* status = nullptr) const;
    // Radians.
    ZStatus setConeAngle(double angle);
};

class ZFnLambertShader : public ZFnDependencyNode
{
public:
    ZFnLambertShader() = default;
    ZFnLambertShader(const ZObject& object, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kLambert; }
    ZStatus setObject(const ZObject& object) override;
    ZObject create(bool uiNode = true, ZStatus* status = nullptr);
    ZColor color(ZStatus* status = nullptr) const;
    ZStatus setColor(const ZColor& color);
    ZColor transparency(ZStatus* status = nullptr) const;
    ZStatus setTransparency(const ZColor& color);
    ZColor ambientColor(ZStatus* status = nullptr) const;
    ZStatus setAmbientColor(const ZColor& color);
    ZColor incandescence(ZStatus* status = nullptr) const;
    ZStatus setIncandescence(const ZColor& color);
    float diffuseCoeff(ZStatus* status = nullptr) const;
    ZStatus setDiffuseCoeff(float value);

protected:
    ZObject CreateShader(const char* typeName, ZStatus* status);
};

class ZFnReflectShader : public ZFnLambertShader
{
public:
    ZFnReflectShader() = default;
    ZFnReflectShader(const ZObject& object, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kReflect; }
    ZStatus setObject(const ZObject& object) override;
    ZColor specularColor(ZStatus* status = nullptr) const;
    ZStatus setSpecularColor(const ZColor& color);
    float reflectivity(ZStatus* status = nullptr) const;
    ZStatus setReflectivity(float value);
};

class ZFnPhongShader : public ZFnReflectShader
{
public:
    ZFnPhongShader() = default;
    ZFnPhongShader(const ZObject& object, ZStatus* status = nullptr);
    ZFn::Type type() const override { return ZFn::kPhong; }
    ZStatus setObject(const ZObject& object) override;
    ZObject create(bool uiNode = true, ZStatus* status = nullptr);
    float cosPower(ZStatus* status = nullptr) const;
    ZStatus setCosPower(float value);
};

#endif
