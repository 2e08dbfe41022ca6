/* ri.h: OVO's C binding of the scene interface, in the classic procedural style.
 *
 * Every call takes its fixed arguments, then a parameter list of token/value pairs ended by
 * RI_NULL; the ...V form takes the list as a count and two arrays. A value points at as many
 * numbers (or strings) as the token's declaration and the primitive need: "P" on a polygon of
 * four vertices points at 12 floats. Tokens are declared inline ("uniform float Kd"), with
 * RiDeclare, or are standard names.
 *
 * A host calls RiBegin(RI_NULL), describes frames and calls RiEnd(); the frame renders at
 * RiWorldEnd. Misuse is reported as a scene file's request would be, the calls counted as its
 * lines ("Ri:12: Sphere: ..."). A procedural object loaded by Procedural "DynamicLoad" exports
 * ConvertParameters, Subdivide and Free, and its Ri calls reach the frame being read. Link with
 * -lovori (a DynamicLoad object needs not link anything: the renderer provides these symbols).
 * One frame is open at a time, and its calls come from the thread that called RiBegin.
 */
#ifndef OVO_RI_H
#define OVO_RI_H

#ifdef __cplusplus
extern "C" {
#endif

typedef short RtBoolean;
typedef int RtInt;
typedef float RtFloat;
typedef const char* RtToken;
typedef const char* RtString;
typedef void* RtPointer;
typedef void RtVoid;

typedef RtFloat RtColor[3];
typedef RtFloat RtPoint[3];
typedef RtFloat RtVector[3];
typedef RtFloat RtNormal[3];
typedef RtFloat RtHpoint[4];
typedef RtFloat RtMatrix[4][4];
typedef RtFloat RtBasis[4][4];
typedef RtFloat RtBound[6];

typedef RtPointer RtObjectHandle;
typedef RtPointer RtLightHandle;
typedef RtPointer RtContextHandle;

typedef RtFloat (*RtFilterFunc)(RtFloat x, RtFloat y, RtFloat xwidth, RtFloat ywidth);
typedef RtVoid (*RtErrorHandler)(RtInt code, RtInt severity, const char* message);
typedef RtVoid (*RtProcSubdivFunc)(RtPointer data, RtFloat detail);
typedef RtVoid (*RtProcFreeFunc)(RtPointer data);
typedef RtVoid (*RtArchiveCallback)(RtToken type, const char* format, ...);

#define RI_NULL ((RtToken)0)
#define RI_FALSE 0
#define RI_TRUE 1
#define RI_INFINITY 1.0e38f
#define RI_EPSILON 1.0e-10f

/* Severities an error handler receives. */
#define RIE_INFO 0
#define RIE_WARNING 1
#define RIE_ERROR 2
#define RIE_SEVERE 3

/* Standard tokens. */
extern RtToken RI_FRAMEBUFFER, RI_FILE;
extern RtToken RI_RGB, RI_RGBA, RI_RGBZ, RI_RGBAZ, RI_A, RI_Z, RI_AZ;
extern RtToken RI_PERSPECTIVE, RI_ORTHOGRAPHIC;
extern RtToken RI_HIDDEN, RI_PAINT;
extern RtToken RI_CONSTANT, RI_SMOOTH;
extern RtToken RI_FLATNESS, RI_FOV;
extern RtToken RI_AMBIENTLIGHT, RI_POINTLIGHT, RI_DISTANTLIGHT, RI_SPOTLIGHT;
extern RtToken RI_INTENSITY, RI_LIGHTCOLOR, RI_FROM, RI_TO, RI_CONEANGLE, RI_CONEDELTAANGLE,
    RI_BEAMDISTRIBUTION;
extern RtToken RI_MATTE, RI_METAL, RI_SHINYMETAL, RI_PLASTIC, RI_PAINTEDPLASTIC;
extern RtToken RI_KA, RI_KD, RI_KS, RI_ROUGHNESS, RI_KR, RI_TEXTURENAME, RI_SPECULARCOLOR;
extern RtToken RI_DEPTHCUE, RI_FOG, RI_BUMPY;
extern RtToken RI_MINDISTANCE, RI_MAXDISTANCE, RI_BACKGROUND, RI_DISTANCE, RI_AMPLITUDE;
extern RtToken RI_INSIDE, RI_OUTSIDE, RI_LH, RI_RH;
extern RtToken RI_P, RI_PZ, RI_PW, RI_N, RI_NP, RI_CS, RI_OS, RI_S, RI_T, RI_ST;
extern RtToken RI_BILINEAR, RI_BICUBIC;
extern RtToken RI_LINEAR, RI_CUBIC;
extern RtToken RI_PRIMITIVE, RI_INTERSECTION, RI_UNION, RI_DIFFERENCE;
extern RtToken RI_PERIODIC, RI_NONPERIODIC, RI_CLAMP, RI_BLACK;
extern RtToken RI_WIDTH, RI_CONSTANTWIDTH;
extern RtToken RI_CATMULLCLARK, RI_HOLE, RI_CREASE, RI_CORNER, RI_INTERPOLATEBOUNDARY;
extern RtToken RI_WORLD, RI_OBJECT, RI_CAMERA, RI_SCREEN, RI_RASTER, RI_NDC;

/* Standard bases for RiBasis, with their usual steps. */
extern RtBasis RiBezierBasis, RiBSplineBasis, RiCatmullRomBasis, RiHermiteBasis, RiPowerBasis;
#define RI_BEZIERSTEP 3
#define RI_BSPLINESTEP 1
#define RI_CATMULLROMSTEP 1
#define RI_HERMITESTEP 2
#define RI_POWERSTEP 4

/* Standard filters, error handlers and procedurals: pass them by address. */
RtFloat RiGaussianFilter(RtFloat x, RtFloat y, RtFloat xwidth, RtFloat ywidth);
RtFloat RiBoxFilter(RtFloat x, RtFloat y, RtFloat xwidth, RtFloat ywidth);
RtFloat RiTriangleFilter(RtFloat x, RtFloat y, RtFloat xwidth, RtFloat ywidth);
RtFloat RiCatmullRomFilter(RtFloat x, RtFloat y, RtFloat xwidth, RtFloat ywidth);
RtFloat RiSincFilter(RtFloat x, RtFloat y, RtFloat xwidth, RtFloat ywidth);

RtVoid RiErrorIgnore(RtInt code, RtInt severity, const char* message);
RtVoid RiErrorPrint(RtInt code, RtInt severity, const char* message);
RtVoid RiErrorAbort(RtInt code, RtInt severity, const char* message);

/* data points at RtString args[]: one archive name, a program and its argument, or an
 * object's name and its argument string. */
RtVoid RiProcDelayedReadArchive(RtPointer data, RtFloat detail);
RtVoid RiProcRunProgram(RtPointer data, RtFloat detail);
RtVoid RiProcDynamicLoad(RtPointer data, RtFloat detail);
RtVoid RiProcFree(RtPointer data);

/* Contexts, frames and blocks. */
RtVoid RiBegin(RtToken name);
RtVoid RiEnd(void);
RtVoid RiFrameBegin(RtInt frame);
RtVoid RiFrameEnd(void);
RtVoid RiWorldBegin(void);
RtVoid RiWorldEnd(void);
RtVoid RiAttributeBegin(void);
RtVoid RiAttributeEnd(void);
RtVoid RiTransformBegin(void);
RtVoid RiTransformEnd(void);
RtVoid RiSolidBegin(RtToken operation);
RtVoid RiSolidEnd(void);
RtObjectHandle RiObjectBegin(void);
RtVoid RiObjectEnd(void);
RtVoid RiObjectInstance(RtObjectHandle handle);
RtVoid RiMotionBegin(RtInt n, ...);
RtVoid RiMotionBeginV(RtInt n, RtFloat times[]);
RtVoid RiMotionEnd(void);
RtToken RiDeclare(RtString name, RtString declaration);
RtVoid RiErrorHandler(RtErrorHandler handler);

/* Camera and image. */
RtVoid RiFormat(RtInt xresolution, RtInt yresolution, RtFloat pixelaspect);
RtVoid RiFrameAspectRatio(RtFloat ratio);
RtVoid RiScreenWindow(RtFloat left, RtFloat right, RtFloat bottom, RtFloat top);
RtVoid RiCropWindow(RtFloat xmin, RtFloat xmax, RtFloat ymin, RtFloat ymax);
RtVoid RiProjection(RtToken name, ...);
RtVoid RiProjectionV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[]);
RtVoid RiClipping(RtFloat nearplane, RtFloat farplane);
RtVoid RiDepthOfField(RtFloat fstop, RtFloat focallength, RtFloat focaldistance);
RtVoid RiShutter(RtFloat opentime, RtFloat closetime);
RtVoid RiPixelSamples(RtFloat xsamples, RtFloat ysamples);
RtVoid RiPixelFilter(RtFilterFunc filter, RtFloat xwidth, RtFloat ywidth);
RtVoid RiExposure(RtFloat gain, RtFloat gamma);
RtVoid RiQuantize(RtToken type, RtInt one, RtInt min, RtInt max, RtFloat ditheramplitude);
RtVoid RiDisplay(RtToken name, RtToken type, RtToken mode, ...);
RtVoid RiDisplayV(RtToken name, RtToken type, RtToken mode, RtInt n, RtToken tokens[],
                  RtPointer values[]);
RtVoid RiHider(RtToken type, ...);
RtVoid RiHiderV(RtToken type, RtInt n, RtToken tokens[], RtPointer values[]);
RtVoid RiOption(RtToken name, ...);
RtVoid RiOptionV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[]);

/* Attributes. */
RtVoid RiAttribute(RtToken name, ...);
RtVoid RiAttributeV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[]);
RtVoid RiColor(RtColor color);
RtVoid RiOpacity(RtColor opacity);
RtVoid RiSides(RtInt sides);
RtVoid RiOrientation(RtToken orientation);
RtVoid RiReverseOrientation(void);
RtVoid RiMatte(RtBoolean onoff);
RtVoid RiShadingRate(RtFloat size);
RtVoid RiBasis(RtBasis ubasis, RtInt ustep, RtBasis vbasis, RtInt vstep);

/* Transformations. */
RtVoid RiIdentity(void);
RtVoid RiTransform(RtMatrix transform);
RtVoid RiConcatTransform(RtMatrix transform);
RtVoid RiPerspective(RtFloat fov);
RtVoid RiTranslate(RtFloat dx, RtFloat dy, RtFloat dz);
RtVoid RiRotate(RtFloat angle, RtFloat dx, RtFloat dy, RtFloat dz);
RtVoid RiScale(RtFloat sx, RtFloat sy, RtFloat sz);
RtVoid RiCoordinateSystem(RtToken space);

/* Shaders and lights. */
RtVoid RiSurface(RtToken name, ...);
RtVoid RiSurfaceV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[]);
RtVoid RiDisplacement(RtToken name, ...);
RtVoid RiDisplacementV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[]);
RtVoid RiAtmosphere(RtToken name, ...);
RtVoid RiAtmosphereV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[]);
RtLightHandle RiLightSource(RtToken name, ...);
RtLightHandle RiLightSourceV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[]);
RtLightHandle RiAreaLightSource(RtToken name, ...);
RtLightHandle RiAreaLightSourceV(RtToken name, RtInt n, RtToken tokens[], RtPointer values[]);
RtVoid RiIlluminate(RtLightHandle light, RtBoolean onoff);

/* Quadrics. */
RtVoid RiSphere(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, ...);
RtVoid RiSphereV(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n,
                 RtToken tokens[], RtPointer values[]);
RtVoid RiCone(RtFloat height, RtFloat radius, RtFloat thetamax, ...);
RtVoid RiConeV(RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[],
               RtPointer values[]);
RtVoid RiCylinder(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, ...);
RtVoid RiCylinderV(RtFloat radius, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n,
                   RtToken tokens[], RtPointer values[]);
RtVoid RiHyperboloid(RtPoint point1, RtPoint point2, RtFloat thetamax, ...);
RtVoid RiHyperboloidV(RtPoint point1, RtPoint point2, RtFloat thetamax, RtInt n, RtToken tokens[],
                      RtPointer values[]);
RtVoid RiParaboloid(RtFloat rmax, RtFloat zmin, RtFloat zmax, RtFloat thetamax, ...);
RtVoid RiParaboloidV(RtFloat rmax, RtFloat zmin, RtFloat zmax, RtFloat thetamax, RtInt n,
                     RtToken tokens[], RtPointer values[]);
RtVoid RiDisk(RtFloat height, RtFloat radius, RtFloat thetamax, ...);
RtVoid RiDiskV(RtFloat height, RtFloat radius, RtFloat thetamax, RtInt n, RtToken tokens[],
               RtPointer values[]);
RtVoid RiTorus(RtFloat majorradius, RtFloat minorradius, RtFloat phimin, RtFloat phimax,
               RtFloat thetamax, ...);
RtVoid RiTorusV(RtFloat majorradius, RtFloat minorradius, RtFloat phimin, RtFloat phimax,
                RtFloat thetamax, RtInt n, RtToken tokens[], RtPointer values[]);

/* Polygons, patches, curves, points and subdivision meshes. */
RtVoid RiPolygon(RtInt nvertices, ...);
RtVoid RiPolygonV(RtInt nvertices, RtInt n, RtToken tokens[], RtPointer values[]);
RtVoid RiGeneralPolygon(RtInt nloops, RtInt nvertices[], ...);
RtVoid RiGeneralPolygonV(RtInt nloops, RtInt nvertices[], RtInt n, RtToken tokens[],
                         RtPointer values[]);
RtVoid RiPointsPolygons(RtInt npolys, RtInt nvertices[], RtInt vertices[], ...);
RtVoid RiPointsPolygonsV(RtInt npolys, RtInt nvertices[], RtInt vertices[], RtInt n,
                         RtToken tokens[], RtPointer values[]);
RtVoid RiPointsGeneralPolygons(RtInt npolys, RtInt nloops[], RtInt nvertices[], RtInt vertices[],
                               ...);
RtVoid RiPointsGeneralPolygonsV(RtInt npolys, RtInt nloops[], RtInt nvertices[], RtInt vertices[],
                                RtInt n, RtToken tokens[], RtPointer values[]);
RtVoid RiPatch(RtToken type, ...);
RtVoid RiPatchV(RtToken type, RtInt n, RtToken tokens[], RtPointer values[]);
RtVoid RiPatchMesh(RtToken type, RtInt nu, RtToken uwrap, RtInt nv, RtToken vwrap, ...);
RtVoid RiPatchMeshV(RtToken type, RtInt nu, RtToken uwrap, RtInt nv, RtToken vwrap, RtInt n,
                    RtToken tokens[], RtPointer values[]);
RtVoid RiCurves(RtToken type, RtInt ncurves, RtInt nvertices[], RtToken wrap, ...);
RtVoid RiCurvesV(RtToken type, RtInt ncurves, RtInt nvertices[], RtToken wrap, RtInt n,
                 RtToken tokens[], RtPointer values[]);
RtVoid RiPoints(RtInt npoints, ...);
RtVoid RiPointsV(RtInt npoints, RtInt n, RtToken tokens[], RtPointer values[]);
RtVoid RiSubdivisionMesh(RtToken scheme, RtInt nfaces, RtInt nvertices[], RtInt vertices[],
                         RtInt ntags, RtToken tags[], RtInt nargs[], RtInt intargs[],
                         RtFloat floatargs[], ...);
RtVoid RiSubdivisionMeshV(RtToken scheme, RtInt nfaces, RtInt nvertices[], RtInt vertices[],
                          RtInt ntags, RtToken tags[], RtInt nargs[], RtInt intargs[],
                          RtFloat floatargs[], RtInt n, RtToken tokens[], RtPointer values[]);

/* Procedurals and archives. A ray tracer resolves a procedural at once: subdivide runs
 * before RiProcedural returns, inside an attribute block of its own, then free. */
RtVoid RiProcedural(RtPointer data, RtBound bound, RtProcSubdivFunc subdivide, RtProcFreeFunc free);
RtVoid RiReadArchive(RtToken name, RtArchiveCallback callback, ...);
RtVoid RiReadArchiveV(RtToken name, RtArchiveCallback callback, RtInt n, RtToken tokens[],
                      RtPointer values[]);

#ifdef __cplusplus
}
#endif

#endif
