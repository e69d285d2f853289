#define GL_GLEXT_PROTOTYPES 1

#include "render/TerrainLOD.h"

#include "data/Bitmap.h"
#include "render/GLResources.h"
#include "render/GLStateCache.h"
#include "render/HeightSource.h"
#include "render/RenderContextInfo.h"
#include "render/TerrainTileLoader.h"
#include "render/TextureUpload.h"

#include <GL/gl.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <string>
#include <thread>
#include <unordered_set>

#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif
#ifndef GL_TEXTURE_MAX_ANISOTROPY_EXT
#define GL_TEXTURE_MAX_ANISOTROPY_EXT 0x84FE
#endif

namespace skyglide {

namespace {

// Texels along a tile texture's side at most: 16 per quad (a tile of 16
// quads at full resolution up to level 4), with two to spare at either end
// for the filter. Half as many save memory but make the texel limit refine
// further at an error bound of 1 pixel: 1.7 times the triangles there.
int tileTextureSide(int tileCells)
{
    return 16 * tileCells + 4;
}

// Triangles a software renderer is given between flushes (about twenty-five
// tiles of 16 quads): fewer flush for little, more leave its threads idle
// longer at the start of a frame.
constexpr int cSoftwareFlushTriangles = 16384;

int workerThreads()
{
    const unsigned cores = std::thread::hardware_concurrency();
    return int(std::clamp(cores, 1u, 4u));
}

TTileKey parentOf(const TTileKey& key)
{
    return {key.Level + 1, key.I / 2, key.J / 2};
}

GLenum polygonMode(TPolygonMode mode)
{
    switch (mode) {
    case TPolygonMode::pmLines:
        return GL_LINE;
    case TPolygonMode::pmPoints:
        return GL_POINT;
    case TPolygonMode::pmFill:
        break;
    }
    return GL_FILL;
}

unsigned int textureSettings(const TTexture& texture)
{
    return unsigned(texture.MinFilter()) | unsigned(texture.MagFilter()) << 4 |
           unsigned(texture.FilteringQuality()) << 8;
}

void applyTextureSettings(const TTexture& texture, const TGLExtensions& extensions)
{
    // The pieces of the drape meet edge to edge: no wrapping.
    const GLint clamp = extensions.TextureEdgeClamp ? GL_CLAMP_TO_EDGE : GL_CLAMP;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, clamp);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, clamp);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(GLMinFilter(texture.MinFilter())));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GLint(GLMagFilter(texture.MagFilter())));
    // A software renderer samples anisotropically at three to four times the
    // cost of the whole frame over the surface's many distant tiles, and some
    // poses take it seconds: flight there stays fluid with plain mipmaps.
    if (extensions.TextureFilterAnisotropic)
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT,
                        extensions.SoftwareRenderer
                            ? TextureAnisotropy(TTextureFilteringQuality::tfIsotropic)
                            : TextureAnisotropy(texture.FilteringQuality()));
}

// The drape the tiles show: the texture's picture when it is on and is one.
std::shared_ptr<const TBitmap> drapeOf(const TTexture& texture)
{
    const std::shared_ptr<const TBitmap>& picture = texture.Image();
    if (texture.Disabled() || !picture || picture->Empty())
        return nullptr;
    return picture;
}

} // namespace

TTerrainLOD::TTerrainLOD() : m_loader(std::make_unique<TTerrainTileLoader>(workerThreads()))
{
    TObjectStyle style = ObjectStyle();
    style.setFlag(TObjectStyleFlag::ofResetGLState);
    SetObjectStyle(style);
    m_loader->OnReady = [this] {
        if (OnTilesReady)
            OnTilesReady();
    };
}

TTerrainLOD::~TTerrainLOD()
{
    m_loader.reset();
    releaseAll();
}

void TTerrainLOD::SetHeightSource(std::shared_ptr<const THeightSource> source)
{
    m_source = std::move(source);
    SendChangeNotice();
}

void TTerrainLOD::SetErrorBound(float pixels)
{
    m_errorBound = std::max(pixels, 0.1f);
    SendChangeNotice();
}

void TTerrainLOD::SetTileBudget(int tiles)
{
    m_tileBudget = std::max(tiles, 1);
    SendChangeNotice();
}

void TTerrainLOD::SetTileCells(int cells)
{
    // Checked here, so that a bad size fails where it is given.
    (void)TTerrainLayout(2, 2, cells);
    m_tileCells = cells;
    SendChangeNotice();
}

void TTerrainLOD::SetOptions(THeightFieldOptions value)
{
    m_options = value;
    SendChangeNotice();
}

bool TTerrainLOD::FrameComplete() const
{
    return m_data && !m_statistics.Preparing &&
           m_statistics.DrawnAtLevel == m_statistics.SelectedTiles;
}

bool TTerrainLOD::TilesWaiting() const
{
    return m_loader->Arrived();
}

bool TTerrainLOD::WaitForTiles(int timeoutMs)
{
    return m_loader->Wait(timeoutMs);
}

void TTerrainLOD::DoProgress(double deltaTime, double newTime)
{
    TSceneObject::DoProgress(deltaTime, newTime);
    if (m_loader->WorthAFrame())
        SendChangeNotice();
}

// ---- context -----------------------------------------------------------------------

void TTerrainLOD::adoptContext(const TRenderContextInfo& rci)
{
    const TGLExtensions& extensions = *rci.Extensions;
    if (!extensions.AtLeast(1, 5))
        throw TOpenGLError("TTerrainLOD: drawing from vertex buffers needs OpenGL 1.5, the "
                           "context has " +
                           std::to_string(extensions.MajorVersion) + "." +
                           std::to_string(extensions.MinorVersion));
    if (m_resources.lock() != rci.Resources) {
        // Another context: the names of the last one are not valid here.
        releaseAll();
        m_resources = rci.Resources;
        m_powerOfTwoTextures =
            !extensions.AtLeast(2, 0) &&
            !TGLExtensions::HasExtension(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)),
                                         "GL_ARB_texture_non_power_of_two");
    }
    if (m_indexBuffer != 0 && m_indexCells == m_tileCells)
        return;
    if (m_indexBuffer != 0)
        rci.Resources->ReleaseBuffer(m_indexBuffer);
    const TTileIndices indices = TileIndices(m_tileCells);
    m_indexBuffer = rci.Resources->GenBuffer();
    if (m_indexBuffer == 0) {
        CheckOpenGLError();
        throw TOpenGLError("glGenBuffers: no buffer name left");
    }
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_indexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                 GLsizeiptr(indices.Indices.size() * sizeof(std::uint16_t)), indices.Indices.data(),
                 GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    m_indexCells = m_tileCells;
    m_surfaceIndices = indices.SurfaceCount;
    m_allIndices = int(indices.Indices.size());
}

void TTerrainLOD::startIfChanged(const TRenderContextInfo& rci)
{
    TTerrainRecipe recipe;
    recipe.Source = m_source;
    if (m_options.testFlag(THeightFieldOption::hfoTextureCoordinates))
        recipe.Drape = drapeOf(Material().Texture());
    recipe.TileCells = m_tileCells;
    recipe.MaxTextureSide = std::min(tileTextureSide(m_tileCells), rci.Extensions->MaxTextureSize);
    recipe.PowerOfTwoTextures = m_powerOfTwoTextures;
    if (recipe == m_loader->Recipe())
        return;
    releaseAll();
    m_data.reset();
    m_loader->Start(recipe);
}

void TTerrainLOD::releaseAll()
{
    if (const std::shared_ptr<TGLResourceOwner> owner = m_resources.lock()) {
        for (const auto& [key, tile] : m_resident) {
            owner->ReleaseBuffer(tile.Buffer);
            if (tile.Texture != 0)
                owner->ReleaseTexture(tile.Texture);
        }
        if (m_indexBuffer != 0)
            owner->ReleaseBuffer(m_indexBuffer);
    }
    m_resident.clear();
    m_residentBytes = 0;
    m_indexBuffer = 0;
}

void TTerrainLOD::upload(std::vector<TBuiltTile> tiles, const TRenderContextInfo& rci)
{
    if (tiles.empty())
        return;
    TGLResourceOwner& owner = *rci.Resources;
    const TTexture& texture = Material().Texture();
    const unsigned int settings = textureSettings(texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    for (TBuiltTile& built : tiles) {
        const std::uint64_t packed = built.Key.Packed();
        if (m_resident.contains(packed))
            continue;
        TResidentTile tile;
        tile.Buffer = owner.GenBuffer();
        if (tile.Buffer == 0) {
            CheckOpenGLError();
            throw TOpenGLError("glGenBuffers: no buffer name left");
        }
        const std::size_t vertexBytes = built.Mesh.Vertices.size() * sizeof(TTerrainVertex);
        glBindBuffer(GL_ARRAY_BUFFER, tile.Buffer);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertexBytes), built.Mesh.Vertices.data(),
                     GL_STATIC_DRAW);
        tile.Bytes = vertexBytes;
        if (!built.Image.Levels.empty()) {
            tile.Texture = owner.GenTexture();
            if (tile.Texture == 0) {
                owner.ReleaseBuffer(tile.Buffer);
                CheckOpenGLError();
                throw TOpenGLError("glGenTextures: no texture name left");
            }
            glBindTexture(GL_TEXTURE_2D, tile.Texture);
            int width = built.Image.Width;
            int height = built.Image.Height;
            for (std::size_t level = 0; level < built.Image.Levels.size(); ++level) {
                glTexImage2D(GL_TEXTURE_2D, GLint(level), GL_RGBA8, width, height, 0, GL_RGBA,
                             GL_UNSIGNED_BYTE, built.Image.Levels[level].data());
                width = std::max(1, width / 2);
                height = std::max(1, height / 2);
            }
            applyTextureSettings(texture, *rci.Extensions);
            tile.TextureSettings = settings;
            tile.Bytes += built.Image.Bytes();
            if (rci.Statistics)
                ++rci.Statistics->TexturesUploaded;
        }
        tile.CrossesEdge = m_data->Tree.Layout().CrossesEdge(built.Key);
        tile.Key = packed;
        tile.LastFrame = m_frame;
        m_residentBytes += tile.Bytes;
        m_resident.emplace(packed, tile);
        ++m_statistics.UploadedTiles;
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    rci.GLStates->ResetTextureBindings();
    CheckOpenGLError();
}

void TTerrainLOD::evict()
{
    if (m_residentBytes <= m_cacheBytes)
        return;
    const std::uint64_t root = m_data ? m_data->Tree.Layout().Root().Packed() : 0;
    std::vector<std::pair<long long, std::uint64_t>> old;
    for (const auto& [key, tile] : m_resident)
        if (tile.LastFrame < m_frame && key != root)
            old.emplace_back(tile.LastFrame, key);
    std::sort(old.begin(), old.end());
    const std::shared_ptr<TGLResourceOwner> owner = m_resources.lock();
    for (const auto& [frame, key] : old) {
        if (m_residentBytes <= m_cacheBytes)
            break;
        const auto found = m_resident.find(key);
        if (owner) {
            owner->ReleaseBuffer(found->second.Buffer);
            if (found->second.Texture != 0)
                owner->ReleaseTexture(found->second.Texture);
        }
        m_residentBytes -= found->second.Bytes;
        m_resident.erase(found);
    }
}

// ---- frame -------------------------------------------------------------------------

void TTerrainLOD::DoRender(TRenderContextInfo& rci)
{
    m_statistics = {};
    ++m_frame;
    if (!rci.Extensions || !rci.Resources || !rci.GLStates)
        return;
    adoptContext(rci);
    startIfChanged(rci);
    if (const std::exception_ptr error = m_loader->TakeError())
        std::rethrow_exception(error);
    if (!m_data)
        m_data = m_loader->Data();
    if (!m_data) {
        m_statistics.Preparing = m_source && m_source->Columns() >= 2 && m_source->Rows() >= 2;
        return;
    }
    upload(m_loader->Take(), rci);

    TTerrainView view;
    glGetFloatv(GL_MODELVIEW_MATRIX, &view.ModelView.M[0][0]);
    glGetFloatv(GL_PROJECTION_MATRIX, &view.Projection.M[0][0]);
    view.ViewportWidth = rci.ViewPortWidth;
    view.ViewportHeight = rci.ViewPortHeight;
    const TTileSelection selection =
        SelectTiles(m_data->Tree, m_data->TexelSizes, view, {m_errorBound, m_tileBudget});

    // Tiles not there yet are asked for, nearest first (the root before
    // anything, since it stands in for everything), and stood in for by
    // their nearest ancestor that is there. A stand-in covers every tile
    // under it, so those are not drawn as well.
    const TTileKey root = m_data->Tree.Layout().Root();
    auto resident = [this](const TTileKey& key) { return m_resident.contains(key.Packed()); };
    std::vector<TTileKey> wanted;
    if (!resident(root))
        wanted.push_back(root);
    std::unordered_set<std::uint64_t> standIns;
    for (const TSelectedTile& tile : selection.Tiles) {
        if (resident(tile.Key)) {
            m_resident[tile.Key.Packed()].LastFrame = m_frame;
            continue;
        }
        wanted.push_back(tile.Key);
        for (TTileKey up = parentOf(tile.Key); up.Level <= root.Level; up = parentOf(up))
            if (resident(up)) {
                standIns.insert(up.Packed());
                break;
            }
    }
    auto underStandIn = [&](TTileKey key) {
        for (key = parentOf(key); key.Level <= root.Level; key = parentOf(key))
            if (standIns.contains(key.Packed()))
                return true;
        return false;
    };
    const auto drawnAtLevel = [&](const TTileKey& key) {
        return resident(key) && !underStandIn(key);
    };
    std::vector<TResidentTile*> drawn;
    for (const TSelectedTile& tile : selection.Tiles)
        if (drawnAtLevel(tile.Key)) {
            drawn.push_back(&m_resident[tile.Key.Packed()]);
            ++m_statistics.DrawnAtLevel;
        }
    for (const std::uint64_t packed : standIns) {
        if (!underStandIn(TTileKey::FromPacked(packed))) {
            TResidentTile& tile = m_resident[packed];
            tile.LastFrame = m_frame;
            drawn.push_back(&tile);
        }
    }
    m_loader->Want(std::move(wanted));

    // Two tiles of one level meet on the same vertices, so a skirt is only
    // needed along an edge whose neighbour is drawn at another level, or
    // not at all (the grid's own edges have none).
    std::unordered_set<std::uint64_t> drawnKeys;
    for (const TResidentTile* tile : drawn)
        drawnKeys.insert(tile->Key);
    const TTerrainLayout& layout = m_data->Tree.Layout();
    for (TResidentTile* tile : drawn) {
        const TTileKey key = TTileKey::FromPacked(tile->Key);
        const TTileKey across[4] = {{key.Level, key.I, key.J - 1},
                                    {key.Level, key.I, key.J + 1},
                                    {key.Level, key.I - 1, key.J},
                                    {key.Level, key.I + 1, key.J}};
        tile->Skirts = 0;
        for (unsigned int edge = 0; edge < 4; ++edge)
            if (layout.Exists(across[edge]) && !drawnKeys.contains(across[edge].Packed()))
                tile->Skirts |= 1u << edge;
    }

    draw(drawn, farSidesHidden(view.ModelView, drawnAtLevel), rci);

    m_statistics.SelectedTiles = int(selection.Tiles.size());
    m_statistics.DrawnTiles = int(drawn.size());
    m_statistics.Triangles = 0;
    const int skirtTriangles = (m_allIndices - m_surfaceIndices) / 12;
    for (const TResidentTile* tile : drawn)
        m_statistics.Triangles +=
            m_surfaceIndices / 3 + std::popcount(tile->Skirts) * skirtTriangles;
    m_statistics.MaxScreenError = selection.MaxError;
    m_statistics.BudgetLimited = selection.BudgetLimited;
    evict();
    m_statistics.ResidentTiles = int(m_resident.size());
    m_statistics.ResidentBytes = m_residentBytes;
}

// From an eye inside the grid and above the surface under it, a ray that
// reaches a face from beneath has crossed the surface before, through a face
// turned towards the eye that hides it; the skirts close the seams between
// levels. The surface under the eye must be the full-resolution one (its
// own tile drawn, not a coarser stand-in that may lie above the eye).
unsigned int TTerrainLOD::farSidesHidden(
    const TMatrix4f& modelView, const std::function<bool(const TTileKey&)>& drawnAtLevel) const
{
    const TTerrainLayout& layout = m_data->Tree.Layout();
    const TAffineVector eye = transformPoint({0, 0, 0}, invertMatrix(modelView));
    const double column = double(eye.X) * double(layout.Columns() - 1);
    const double row = (1.0 - double(eye.Y)) * double(layout.Rows() - 1);
    if (!(column >= 0.0 && row >= 0.0 && column <= layout.Columns() - 1 &&
          row <= layout.Rows() - 1))
        return 0;
    const int c = std::min(int(column), layout.Columns() - 2);
    const int r = std::min(int(row), layout.Rows() - 2);
    const int cells = layout.TileCells();
    if (!drawnAtLevel({0, c / cells, r / cells})) // the tile of the quad under the eye
        return 0;
    const TClampedHeights heights(*m_data->Source);
    const float ground = std::max({heights.At(c, r), heights.At(c + 1, r), heights.At(c, r + 1),
                                   heights.At(c + 1, r + 1)});
    if (!(eye.Z > ground))
        return 0;
    // Faces wound anticlockwise seen from above the surface; a mirroring
    // placement turns that round on screen.
    const float handedness =
        dotProduct(crossProduct(transformDirection({1, 0, 0}, modelView),
                                transformDirection({0, 1, 0}, modelView)),
                   transformDirection({0, 0, 1}, modelView));
    return handedness > 0 ? GL_CCW : handedness < 0 ? GL_CW : 0;
}

void TTerrainLOD::draw(const std::vector<TResidentTile*>& tiles, unsigned int frontFace,
                       TRenderContextInfo& rci)
{
    if (tiles.empty())
        return;
    TTexture& texture = Material().Texture();
    // A two-sided surface whose far sides are out of sight is drawn as a
    // one-sided one: the renderer then drops the faces turned away before
    // filling them (a still low frame over rough ground takes a fifth less).
    const bool cullFarSides = frontFace != 0 && m_options.testFlag(THeightFieldOption::hfoTwoSided);
    const bool twoSided = m_options.testFlag(THeightFieldOption::hfoTwoSided) && !cullFarSides;
    const bool texCoords = m_options.testFlag(THeightFieldOption::hfoTextureCoordinates);
    const bool textured = texCoords && m_data->Pyramid != nullptr;
    const unsigned int settings = textureSettings(texture);
    texture.ClearParametersChanged();

    // The material as the mesh gets it; texturing off in the cache, so that
    // what the attribute stack restores is what the cache believes.
    rci.GLStates->SetMaterialColors(TGLMaterialColors{});
    rci.GLStates->Disable(TGLState::stTexture2D);
    glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_BIT | GL_TRANSFORM_BIT);
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    if (twoSided || cullFarSides)
        glPolygonMode(GL_FRONT_AND_BACK, polygonMode(Material().FrontProperties().PolygonMode()));
    if (twoSided)
        glDisable(GL_CULL_FACE);
    if (cullFarSides) {
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        glFrontFace(GLenum(frontFace));
    }
    // An opaque drape in decal or replace mode takes the place of the lit
    // colour entirely, so lighting the vertices would change no pixel: it is
    // left off, which spares the renderer most of its work per vertex.
    const bool unlit = textured && (texture.TextureMode() == TTextureMode::tmDecal ||
                                    texture.TextureMode() == TTextureMode::tmReplace);
    if (textured) {
        glEnable(GL_TEXTURE_2D);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GLint(GLTextureMode(texture.TextureMode())));
    }
    if (unlit)
        glDisable(GL_LIGHTING);
    // The lattice runs on past the grid's east and south edges: tiles that
    // reach there are cut at x = 1 and y = 0.
    const GLdouble east[4] = {-1.0, 0.0, 0.0, 1.0};
    const GLdouble south[4] = {0.0, 1.0, 0.0, 0.0};
    glClipPlane(GL_CLIP_PLANE0, east);
    glClipPlane(GL_CLIP_PLANE1, south);
    bool clipping = false;

    glEnableClientState(GL_VERTEX_ARRAY);
    if (!unlit)
        glEnableClientState(GL_NORMAL_ARRAY);
    if (texCoords)
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_indexBuffer);
    const GLuint lastVertex = GLuint(TileVertexCount(m_indexCells) - 1);
    const GLsizei stride = sizeof(TTerrainVertex);
    const int skirtIndices = (m_allIndices - m_surfaceIndices) / 4;
    // A software renderer rasterises what it was given only when flushed:
    // flushed every so many triangles, its threads draw the nearer tiles
    // while this thread still passes it the farther ones.
    const int flushEvery = rci.Extensions->SoftwareRenderer
                               ? std::max(1, cSoftwareFlushTriangles / std::max(1, m_allIndices / 3))
                               : 0;
    int sinceFlush = 0;
    for (TResidentTile* tile : tiles) {
        if (flushEvery > 0 && ++sinceFlush > flushEvery) {
            glFlush();
            sinceFlush = 1;
        }
        if (tile->CrossesEdge != clipping) {
            clipping = tile->CrossesEdge;
            for (GLenum plane : {GL_CLIP_PLANE0, GL_CLIP_PLANE1})
                clipping ? glEnable(plane) : glDisable(plane);
        }
        glBindBuffer(GL_ARRAY_BUFFER, tile->Buffer);
        glVertexPointer(3, GL_FLOAT, stride, reinterpret_cast<const void*>(0));
        if (!unlit)
            glNormalPointer(GL_FLOAT, stride,
                            reinterpret_cast<const void*>(offsetof(TTerrainVertex, NX)));
        if (texCoords)
            glTexCoordPointer(2, GL_FLOAT, stride,
                              reinterpret_cast<const void*>(offsetof(TTerrainVertex, S)));
        if (textured && tile->Texture != 0) {
            glBindTexture(GL_TEXTURE_2D, tile->Texture);
            if (tile->TextureSettings != settings) {
                applyTextureSettings(texture, *rci.Extensions);
                tile->TextureSettings = settings;
                if (rci.Statistics)
                    ++rci.Statistics->TextureParameterSets;
            }
        }
        glDrawRangeElements(GL_TRIANGLES, 0, lastVertex, m_surfaceIndices, GL_UNSIGNED_SHORT,
                            reinterpret_cast<const void*>(0));
        if (tile->Skirts == 0)
            continue;
        // The skirts show from either side; runs of neighbouring edges in
        // one call each.
        const bool culling = !twoSided && glIsEnabled(GL_CULL_FACE);
        if (culling)
            glDisable(GL_CULL_FACE);
        for (int edge = 0; edge < 4;) {
            if (!(tile->Skirts & (1u << edge))) {
                ++edge;
                continue;
            }
            const int first = edge;
            while (edge < 4 && (tile->Skirts & (1u << edge)))
                ++edge;
            glDrawRangeElements(
                GL_TRIANGLES, 0, lastVertex, (edge - first) * skirtIndices, GL_UNSIGNED_SHORT,
                reinterpret_cast<const void*>(std::size_t(m_surfaceIndices + first * skirtIndices) *
                                              sizeof(std::uint16_t)));
        }
        if (culling)
            glEnable(GL_CULL_FACE);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glPopClientAttrib();
    glPopAttrib();
    rci.GLStates->ResetTextureBindings();
}

} // namespace skyglide
