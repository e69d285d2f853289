#pragma once

#include "render/Coordinates.h"
#include "render/Flags.h"
#include "render/Material.h"
#include "render/VectorGeometry.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace skyglide {

class TBaseSceneObject;
class TScene;

/// What the render pass hands to an object while it draws it: the render
/// engine defines it (as a struct) next to its render pass. The scene graph
/// only passes it through to DoRender and BuildList.
struct TRenderContextInfo;

enum class TObjectStyleFlag : unsigned {
    /// Geometry is emitted every frame (BuildList called directly), never
    /// compiled into a display list.
    ofImmediateGeometry = 1u << 0,
    /// After drawing, the render pass resets its cached material colours,
    /// texture bindings and front-face winding.
    ofResetGLState = 1u << 1,
    /// Drawn with the depth test off.
    ofNoDepthTest = 1u << 2,
    /// Never removed by visibility culling.
    ofNeverCulled = 1u << 3,
};
using TObjectStyle = TFlags<TObjectStyleFlag>;

enum class TObjectsSorting {
    osInherited,
    osNone,
    osRenderFarthestFirst,
    osRenderBlendedLast,
    osRenderNearestFirst
};
enum class TVisibilityCulling { vcInherited, vcNone, vcObjectBased, vcHierarchical };

/// (sender, deltaTime, newTime) of one cadencer step, in scene seconds.
using TProgressEvent =
    std::function<void(TBaseSceneObject& sender, double deltaTime, double newTime)>;

/// Told when a scene object it registered with is destroyed (the object is
/// half gone by then: compare its address, call nothing on it).
class TFreeNotificationListener
{
public:
    virtual void ObjectFreed(TBaseSceneObject& object) = 0;

protected:
    ~TFreeNotificationListener() = default;
};

/// Per-object data of the render engine (its display list name and the
/// context that owns it). Destroyed with the object, so its destructor is
/// where the render engine arranges for the GL resources to be released.
class TObjectRenderData
{
public:
    virtual ~TObjectRenderData() = default;
};

/// A node of the scene tree: position, orientation (unit Direction and Up,
/// kept perpendicular), per-axis Scale, children in insertion order.
///
/// Parents own their children; nodes are neither copied nor moved. A
/// destroyed node tells every registered TFreeNotificationListener, then
/// destroys its children, last child first.
///
/// Change notices: a coordinate change goes to HandleCoordinateNotice, which
/// calls MarkTransformStale, which (the first time after the matrix was last
/// rebuilt) calls SendChangeNotice, which tells the scene and so its
/// listeners. Notices are held back while the object is inside
/// BeginUpdate/EndUpdate and while the scene loads or is inside its own
/// bracket; leaving the object's outermost bracket sends one notice.
class TBaseSceneObject : protected TCoordinatesOwner
{
public:
    TBaseSceneObject();
    virtual ~TBaseSceneObject();
    TBaseSceneObject(const TBaseSceneObject&) = delete;
    TBaseSceneObject& operator=(const TBaseSceneObject&) = delete;

    const std::string& Name() const { return m_name; }
    void SetName(std::string name) { m_name = std::move(name); }

    // ---- tree ---------------------------------------------------------------

    /// The parent node; for a top-level object that is the scene's root
    /// object (Objects()), whose own transformation never applies.
    TBaseSceneObject* Parent() const { return m_parent; }
    TScene* Scene() const { return m_scene; }
    int Count() const { return int(m_children.size()); }
    /// Child number index (0 ≤ index < Count()).
    TBaseSceneObject& Child(int index) const { return *m_children.at(std::size_t(index)); }
    /// Position of child among the children, or −1.
    int IndexOf(const TBaseSceneObject* child) const;
    /// Takes ownership of child (a node without parent) and appends it.
    /// Throws std::invalid_argument, leaving child with the caller, when child
    /// is empty or holds this node (the tree would own itself).
    template <class T> T& AddChild(std::unique_ptr<T>&& child)
    {
        checkNewChild(child.get());
        T& added = *child;
        adoptChild(std::move(child));
        return added;
    }
    /// Creates a T from args and appends it.
    template <class T, class... Args> T& AddNewChild(Args&&... args)
    {
        return AddChild(std::make_unique<T>(std::forward<Args>(args)...));
    }
    /// Detaches child (and its subtree) from this node and from the scene and
    /// hands it back; nullptr when child is not a child of this node.
    std::unique_ptr<TBaseSceneObject> TakeChild(TBaseSceneObject& child);
    /// Detaches and destroys child.
    void DeleteChild(TBaseSceneObject& child);
    void DeleteChildren();

    // ---- placement ----------------------------------------------------------

    TCoordinates& Position() { return m_position; }
    const TCoordinates& Position() const { return m_position; }
    TCoordinates& Direction() { return m_direction; }
    const TCoordinates& Direction() const { return m_direction; }
    TCoordinates& Up() { return m_up; }
    const TCoordinates& Up() const { return m_up; }
    TCoordinates& Scale() { return m_scale; }
    const TCoordinates& Scale() const { return m_scale; }
    /// Bookkeeping of pitch (X), turn (Y) and roll (Z) in degrees. Setting a
    /// component re-orients the object: from Direction (0, 0, 1) and Up
    /// (0, 1, 0), roll about the direction, then pitch about the X axis, then
    /// turn about the Y axis, each in the sense of Turn.
    TCoordinates& Rotation() { return m_rotation; }
    const TCoordinates& Rotation() const { return m_rotation; }
    float TurnAngle() const { return m_rotation.Y(); }
    void SetTurnAngle(float degrees) { m_rotation.SetY(degrees); }
    float PitchAngle() const { return m_rotation.X(); }
    void SetPitchAngle(float degrees) { m_rotation.SetX(degrees); }
    float RollAngle() const { return m_rotation.Z(); }
    void SetRollAngle(float degrees) { m_rotation.SetZ(degrees); }

    /// Position += Direction × distance.
    void Move(float distance);
    /// Rotates Direction (and Up, with no net change) about Up by angle
    /// degrees: with Up (0, 1, 0) a positive angle swings +Z towards −X.
    void Turn(float angle);
    /// Orbits this object about anObject in absolute coordinates, keeping the
    /// distance: pitchDelta (degrees) moves it away from the pole of its
    /// absolute up, turnDelta (degrees) about that up. The angle between up
    /// and the anObject-to-object direction stays within [0.025, π − 0.025]
    /// radians. Direction and Up are not changed. Nothing when anObject is null.
    void OrbitAround(TBaseSceneObject* anObject, float pitchDelta, float turnDelta);

    // ---- matrices (computed when needed) -----------------------------------

    /// Rows: (Up × Direction)·Scale.X, Up·Scale.Y, Direction·Scale.Z, Position.
    const TMatrix4f& LocalMatrix();
    /// Local × the parent's absolute matrix.
    const TMatrix4f& AbsoluteMatrix();
    const TMatrix4f& InvAbsoluteMatrix();
    /// Fourth row of the absolute matrix (W = 1).
    TVector4f AbsolutePosition();
    /// Places the object at an absolute point: the point is carried into the
    /// parent's frame and stored in Position as a whole (one notice).
    void SetAbsolutePosition(const TAffineVector& point);
    /// Second row of the absolute matrix, normalised, W = 0.
    TVector4f AbsoluteUp();
    /// Third row of the absolute matrix, normalised, W = 0.
    TVector4f AbsoluteDirection();

    // ---- change notices -----------------------------------------------------

    void MarkTransformStale();
    /// Marks the geometry for a rebuild (display list recompiled at the next
    /// render); the first mark after a rebuild sends a change notice, every
    /// mark does for ofImmediateGeometry objects.
    void MarkGeometryStale();
    void SendChangeNotice();
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return m_updateCount; }
    /// True while the object's scene is loading its composition.
    bool IsLoading() const;

    bool TransformationStale() const { return m_transformStale; }
    /// The geometry must be rebuilt: the render pass recompiles the display
    /// list and then calls ClearGeometryStale.
    bool GeometryStale() const { return m_structureStale; }
    void ClearGeometryStale() { m_structureStale = false; }

    // ---- appearance ---------------------------------------------------------

    /// A hidden object is skipped by the render pass together with its children.
    bool Visible() const { return m_visible; }
    void SetVisible(bool value);
    bool ShowAxes() const { return m_showAxes; }
    void SetShowAxes(bool value);
    TObjectStyle ObjectStyle() const { return m_objectStyle; }
    void SetObjectStyle(TObjectStyle value) { m_objectStyle = value; }
    TObjectsSorting ObjectsSorting() const { return m_objectsSorting; }
    void SetObjectsSorting(TObjectsSorting value);
    TVisibilityCulling VisibilityCulling() const { return m_visibilityCulling; }
    void SetVisibilityCulling(TVisibilityCulling value);

    // ---- render hooks -------------------------------------------------------

    /// Draws the object's own geometry, its transformation already applied;
    /// the render pass calls it for every visible object of the frame, then
    /// draws the children. A new kind of node overrides it to draw itself in
    /// its own way (vertex buffers, several lists, nothing at all); the
    /// render pass needs no change for it. The default is the display-list
    /// path: BuildList compiled into the object's display list in the
    /// frame's context (again after MarkGeometryStale) and the list replayed,
    /// or BuildList called directly for ofImmediateGeometry objects and while
    /// an enclosing list compiles. Defined by the render engine, next to the
    /// GL calls.
    virtual void DoRender(TRenderContextInfo& rci);
    /// Emits the object's own geometry with immediate-mode GL calls, for the
    /// display-list path of DoRender. The base object has no geometry.
    virtual void BuildList(TRenderContextInfo& rci);
    TObjectRenderData* RenderData() const { return m_renderData.get(); }
    void SetRenderData(std::unique_ptr<TObjectRenderData> data) { m_renderData = std::move(data); }

    // ---- progress -----------------------------------------------------------

    /// One cadencer step: the children (last child first), then OnProgress.
    virtual void DoProgress(double deltaTime, double newTime);
    TProgressEvent OnProgress;

    // ---- destruction notices ------------------------------------------------

    void AddFreeNotification(TFreeNotificationListener* listener);
    void RemoveFreeNotification(TFreeNotificationListener* listener);

    /// Copies placement, Rotation, visibility, axes, sorting, culling and
    /// OnProgress (not the children, the name or the tree links).
    virtual void Assign(const TBaseSceneObject& source);

protected:
    /// A coordinate record of this object changed: re-normalises Direction or
    /// re-derives Up (or Direction) with fixed fall-back axes when the two are
    /// parallel, re-orients from Rotation, then marks the transformation stale.
    /// Skipped while the object rewrites its own Direction and Up.
    virtual void HandleCoordinateNotice(TCoordinates& sender);
    /// The object (or an ancestor) joined or left a scene; Scene() is the new one.
    virtual void SceneChanged(TScene* oldScene);
    /// The parent whose absolute matrix applies: none for top-level objects.
    TBaseSceneObject* TransformParent() const;

private:
    friend class TScene;

    void CoordinateChanged(TCoordinates& sender) override;
    void checkNewChild(const TBaseSceneObject* child) const;
    void adoptChild(std::unique_ptr<TBaseSceneObject> child);
    void setScene(TScene* scene);
    void markAbsoluteStale();
    void reorientFromRotation();

    std::string m_name;
    TMatrix4f m_localMatrix;
    TMatrix4f m_absoluteMatrix;
    TMatrix4f m_invAbsoluteMatrix;
    TObjectStyle m_objectStyle;
    std::unique_ptr<TObjectRenderData> m_renderData;
    TCoordinates m_position;
    TCoordinates m_direction;
    TCoordinates m_up;
    TCoordinates m_scale;
    TCoordinates m_rotation;
    bool m_transformStale = true;
    bool m_absoluteStale = true;
    bool m_invAbsoluteStale = true;
    bool m_structureStale = true;
    bool m_isSceneRoot = false;
    TBaseSceneObject* m_parent = nullptr;
    TScene* m_scene = nullptr;
    std::vector<std::unique_ptr<TBaseSceneObject>> m_children;
    bool m_visible = true;
    int m_updateCount = 0;
    bool m_showAxes = false;
    bool m_calculating = false;
    TObjectsSorting m_objectsSorting = TObjectsSorting::osInherited;
    TVisibilityCulling m_visibilityCulling = TVisibilityCulling::vcInherited;
    std::vector<TFreeNotificationListener*> m_freeNotifies;
};

/// A scene object with a material (and a hint text).
class TCustomSceneObject : public TBaseSceneObject
{
public:
    TCustomSceneObject();

    /// The display-list path with the object's material: its texture bound
    /// around the geometry.
    void DoRender(TRenderContextInfo& rci) override;

    TMaterial& Material() { return m_material; }
    const TMaterial& Material() const { return m_material; }
    const std::string& Hint() const { return m_hint; }
    void SetHint(std::string hint) { m_hint = std::move(hint); }

private:
    TMaterial m_material;
    std::string m_hint;
};

/// The scene object with a material that visible objects derive from.
using TSceneObject = TCustomSceneObject;

/// A scene object without material: groups, helpers, the sky.
class TImmaterialSceneObject : public TBaseSceneObject
{
public:
    const std::string& Hint() const { return m_hint; }
    void SetHint(std::string hint) { m_hint = std::move(hint); }

private:
    std::string m_hint;
};

/// cimPosition: the object is drawn at the camera's position (its own
/// orientation kept, no parent transform), so it never comes nearer.
enum class TCameraInvarianceMode { cimNone, cimPosition, cimOrientation };

class TCameraInvariantObject : public TImmaterialSceneObject
{
public:
    TCameraInvarianceMode CamInvarianceMode() const { return m_camInvarianceMode; }
    void SetCamInvarianceMode(TCameraInvarianceMode value);

private:
    TCameraInvarianceMode m_camInvarianceMode = TCameraInvarianceMode::cimNone;
};

} // namespace skyglide
