// The script classes Vec2, Vec3 and Matrix4x4 and the helpers toColour and inPoly.
// Instances are CObjectValue objects around the plain types; methods that compute a vector
// return a vector value, which the engines turn into a new instance.
#include <Engine/Scripting.h>

#include <Engine/Mathematics/Matrix.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace Torvane3D
{
    // Per-type access to the registry and the value checks, so the natives below are
    // written once for both vector types.
    template <class V>
    struct VectorTraits;

    template <>
    struct VectorTraits<CVector2D>
    {
        static ReflectedClass* Class(CNativeState* pState) { return pState->m_pScripting->m_Global.m_pVector2Class; }
        static bool Check(CNativeState* pState, int i, CVector2D& v) { return pState->CheckVector2D(i, v); }
        static void Return(CNativeState* pState, const CVector2D& v) { pState->m_RVal.AddVector2D(v); }
        static int Format(char* szBuffer, size_t size, const CVector2D& v)
        {
            return snprintf(szBuffer, size, "X: %.3f Y: %.3f", v.x, v.y);
        }
    };

    template <>
    struct VectorTraits<CVector3D>
    {
        static ReflectedClass* Class(CNativeState* pState) { return pState->m_pScripting->m_Global.m_pVector3Class; }
        static bool Check(CNativeState* pState, int i, CVector3D& v) { return pState->CheckVector3D(i, v); }
        static void Return(CNativeState* pState, const CVector3D& v) { pState->m_RVal.AddVector3D(v); }
        static int Format(char* szBuffer, size_t size, const CVector3D& v)
        {
            return snprintf(szBuffer, size, "X: %.3f Y: %.3f Z: %.3f", v.x, v.y, v.z);
        }
    };

    static float& Component(CVector2D& v, intptr_t i)
    {
        return i == 0 ? v.x : v.y;
    }

    static float& Component(CVector3D& v, intptr_t i)
    {
        return i == 0 ? v.x : i == 1 ? v.y : v.z;
    }

    template <class V>
    static bool GetThisVector(CNativeState* pState, V*& pVector)
    {
        CObjectValue<V>* pObject;
        if (!pState->GetThis(VectorTraits<V>::Class(pState), &pObject))
            return false;
        pVector = &pObject->m_Value;
        return true;
    }

    static bool GetThisMatrix(CNativeState* pState, CMatrix4x4*& pMatrix)
    {
        CMatrix4x4Object* pObject;
        if (!pState->GetThis(pState->m_pScripting->m_Global.m_pMatrixClass, &pObject))
            return false;
        pMatrix = &pObject->m_Value;
        return true;
    }

    // An optional number: a missing, null or undefined argument keeps the default.
    static bool OptionalNumber(CNativeState* pState, int i, float& fValue)
    {
        CArgument* pArgument = pState->GetArgument(i);
        if (!pArgument || pArgument->IsNull())
            return true;
        return pState->CheckNumber(i, fValue);
    }

    template <class T>
    static void ReturnNewObject(CNativeState* pState, const T& value, ReflectedClass* pClass)
    {
        auto pObject = MakeStrong<CObjectValue<T>>(value);
        pObject->SetReflectedClass(pClass);
        pState->m_RVal.AddObject(pObject);
    }

    // --- Vec2 and Vec3 --------------------------------------------------------------------

    template <class V>
    static bool VectorConstruct(CNativeState* pState, int, void*)
    {
        V v;
        for (intptr_t i = 0; i < static_cast<intptr_t>(sizeof(V) / sizeof(float)); ++i) {
            if (!OptionalNumber(pState, static_cast<int>(i), Component(v, i)))
                return false;
        }
        ReturnNewObject(pState, v, VectorTraits<V>::Class(pState));
        return true;
    }

    template <class V>
    static bool VectorClone(CNativeState* pState, int, void*)
    {
        V* pThis;
        if (!GetThisVector(pState, pThis))
            return false;
        ReturnNewObject(pState, *pThis, VectorTraits<V>::Class(pState));
        return true;
    }

    template <class V>
    static bool VectorToString(CNativeState* pState, int, void*)
    {
        V* pThis;
        if (!GetThisVector(pState, pThis))
            return false;
        char szText[256];
        int iLength = VectorTraits<V>::Format(szText, sizeof(szText), *pThis);
        if (iLength < 0 || static_cast<size_t>(iLength) >= sizeof(szText))
            return pState->Error("Unable to generate the string");
        pState->m_RVal.AddString(szText, static_cast<size_t>(iLength));
        return true;
    }

    // Property natives; the user pointer is the component index.
    template <class V>
    static bool VectorGetComponent(CNativeState* pState, int, void* pUser)
    {
        V* pThis;
        if (!GetThisVector(pState, pThis))
            return false;
        pState->m_RVal.AddNumber(Component(*pThis, reinterpret_cast<intptr_t>(pUser)));
        return true;
    }

    template <class V>
    static bool VectorSetComponent(CNativeState* pState, int, void* pUser)
    {
        V* pThis;
        float fValue;
        if (!GetThisVector(pState, pThis) || !pState->CheckNumber(0, fValue))
            return false;
        Component(*pThis, reinterpret_cast<intptr_t>(pUser)) = fValue;
        return true;
    }

    template <class V, V (V::*Op)(const V&, float) const>
    static bool VectorBlend(CNativeState* pState, int, void*)
    {
        V* pThis;
        V v;
        float t;
        if (!GetThisVector(pState, pThis) || !VectorTraits<V>::Check(pState, 0, v) || !pState->CheckNumber(1, t))
            return false;
        VectorTraits<V>::Return(pState, (pThis->*Op)(v, t));
        return true;
    }

    template <class V>
    static bool VectorAddPolar(CNativeState* pState, int, void*)
    {
        V* pThis;
        float fDistance, fAngle;
        if (!GetThisVector(pState, pThis) || !pState->CheckNumber(0, fDistance) || !pState->CheckNumber(1, fAngle))
            return false;
        VectorTraits<V>::Return(pState, pThis->AddPolar(fDistance, fAngle));
        return true;
    }

    template <class V, V (V::*Op)() const>
    static bool VectorUnary(CNativeState* pState, int, void*)
    {
        V* pThis;
        if (!GetThisVector(pState, pThis))
            return false;
        VectorTraits<V>::Return(pState, (pThis->*Op)());
        return true;
    }

    template <CVector3D (CVector3D::*Op)(const CVector3D&) const>
    static bool Vector3Binary(CNativeState* pState, int, void*)
    {
        CVector3D* pThis;
        CVector3D v;
        if (!GetThisVector(pState, pThis) || !pState->CheckVector3D(0, v))
            return false;
        pState->m_RVal.AddVector3D((pThis->*Op)(v));
        return true;
    }

    template <float (CVector3D::*Op)(const CVector3D&) const>
    static bool Vector3Scalar(CNativeState* pState, int, void*)
    {
        CVector3D* pThis;
        CVector3D v;
        if (!GetThisVector(pState, pThis) || !pState->CheckVector3D(0, v))
            return false;
        pState->m_RVal.AddNumber((pThis->*Op)(v));
        return true;
    }

    template <float (CVector3D::*Op)() const>
    static bool Vector3Measure(CNativeState* pState, int, void*)
    {
        CVector3D* pThis;
        if (!GetThisVector(pState, pThis))
            return false;
        pState->m_RVal.AddNumber((pThis->*Op)());
        return true;
    }

    static bool Vector3Normalise(CNativeState* pState, int, void*)
    {
        CVector3D* pThis;
        if (!GetThisVector(pState, pThis))
            return false;
        pState->m_RVal.AddNumber(pThis->Normalise());
        return true;
    }

    static bool Vector3AddSpherical(CNativeState* pState, int, void*)
    {
        CVector3D* pThis;
        float fDistance, fPolar, fAzimuth;
        if (!GetThisVector(pState, pThis) || !pState->CheckNumber(0, fDistance) || !pState->CheckNumber(1, fPolar) ||
            !pState->CheckNumber(2, fAzimuth))
            return false;
        pState->m_RVal.AddVector3D(pThis->AddSpherical(fDistance, fPolar, fAzimuth));
        return true;
    }

    template <class V>
    static ReflectedClass* RegisterVectorClass(ReflectedNamespace* pGlobal, const char* szName, const char* szBlend)
    {
        ReflectedClass* pClass = pGlobal->NewClass(szName);
        pClass->RegisterConstructor("t", VectorConstruct<V>);
        pClass->SetClone(VectorClone<V>);
        pClass->SetToString(VectorToString<V>);
        static const char* const s_rgszComponents[] = {"x", "y", "z"};
        for (intptr_t i = 0; i < static_cast<intptr_t>(sizeof(V) / sizeof(float)); ++i) {
            pClass->AddProperty(reinterpret_cast<void*>(i), s_rgszComponents[i], ARGUMENT_FLOAT,
                VectorGetComponent<V>, VectorSetComponent<V>);
        }
        pClass->RegisterFunction("addPolar", "tff", VectorAddPolar<V>);
        pClass->RegisterFunction("interpolate", szBlend, VectorBlend<V, &V::Interpolate>);
        pClass->RegisterFunction("extrapolate", szBlend, VectorBlend<V, &V::Extrapolate>);
        pClass->RegisterFunction("sphericalInterpolate", szBlend, VectorBlend<V, &V::SphericalInterpolate>);
        pClass->RegisterFunction("sphericalExtrapolate", szBlend, VectorBlend<V, &V::SphericalExtrapolate>);
        pClass->RegisterFunction("cartesianToPolar", "t", VectorUnary<V, &V::CartesianToPolar>);
        return pClass;
    }

    static void RegisterVectorClasses(ReflectedNamespace* pGlobal)
    {
        RegisterVectorClass<CVector2D>(pGlobal, "Vec2", "tzf");

        ReflectedClass* pVec3 = RegisterVectorClass<CVector3D>(pGlobal, "Vec3", "tvf");
        pVec3->AddProperty(nullptr, "length", ARGUMENT_FLOAT, Vector3Measure<&CVector3D::Length>);
        pVec3->AddProperty(nullptr, "squaredLength", ARGUMENT_FLOAT, Vector3Measure<&CVector3D::SquaredLength>);
        pVec3->RegisterFunction("distance", "tv", Vector3Scalar<&CVector3D::Distance>);
        pVec3->RegisterFunction("squaredDistance", "tv", Vector3Scalar<&CVector3D::SquaredDistance>);
        pVec3->RegisterFunction("dotProduct", "tv", Vector3Scalar<&CVector3D::DotProduct>);
        pVec3->RegisterFunction("absDotProduct", "tv", Vector3Scalar<&CVector3D::AbsDotProduct>);
        pVec3->RegisterFunction("crossProduct", "tv", Vector3Binary<&CVector3D::CrossProduct>);
        pVec3->RegisterFunction("midPoint", "tv", Vector3Binary<&CVector3D::MidPoint>);
        pVec3->RegisterFunction("normalise", "t", Vector3Normalise);
        pVec3->RegisterFunction("addSpherical", "tfff", Vector3AddSpherical);
        pVec3->RegisterFunction("cartesianToSpherical", "t", VectorUnary<CVector3D, &CVector3D::CartesianToSpherical>);
    }

    // --- Matrix4x4 ------------------------------------------------------------------------

    static bool MatrixConstruct(CNativeState* pState, int, void*)
    {
        ReturnNewObject(pState, CMatrix4x4::Identity(), pState->m_pScripting->m_Global.m_pMatrixClass);
        return true;
    }

    // Property natives; the user pointer is the element index.
    static bool MatrixGetElement(CNativeState* pState, int, void* pUser)
    {
        CMatrix4x4* pThis;
        if (!GetThisMatrix(pState, pThis))
            return false;
        pState->m_RVal.AddNumber(pThis->m[reinterpret_cast<intptr_t>(pUser) & 15]);
        return true;
    }

    static bool MatrixSetElement(CNativeState* pState, int, void* pUser)
    {
        CMatrix4x4* pThis;
        float fValue;
        if (!GetThisMatrix(pState, pThis) || !pState->CheckNumber(0, fValue))
            return false;
        pThis->m[reinterpret_cast<intptr_t>(pUser) & 15] = fValue;
        return true;
    }

    static bool MatrixSetIdentity(CNativeState* pState, int, void*)
    {
        CMatrix4x4* pThis;
        if (!GetThisMatrix(pState, pThis))
            return false;
        *pThis = CMatrix4x4::Identity();
        return true;
    }

    template <CMatrix4x4 (*Make)(const CVector3D&)>
    static bool MatrixSetFromVector(CNativeState* pState, int, void*)
    {
        CMatrix4x4* pThis;
        CVector3D v;
        if (!GetThisMatrix(pState, pThis) || !pState->CheckVector3D(0, v))
            return false;
        *pThis = Make(v);
        return true;
    }

    template <CMatrix4x4 (*Make)(float)>
    static bool MatrixSetFromAngle(CNativeState* pState, int, void*)
    {
        CMatrix4x4* pThis;
        float fAngle;
        if (!GetThisMatrix(pState, pThis) || !pState->CheckNumber(0, fAngle))
            return false;
        *pThis = Make(fAngle);
        return true;
    }

    // this = start x arguments[0] x arguments[1] x ...; at least one matrix is required.
    static bool MultiplyArguments(CNativeState* pState, CMatrix4x4 product, CMatrix4x4* pThis)
    {
        int iCount = std::max(pState->GetArgumentCount(), 1);
        for (int i = 0; i < iCount; ++i) {
            CMatrix4x4 mat;
            if (!pState->CheckMatrix4x4(i, mat))
                return false;
            product = product * mat;
        }
        *pThis = product;
        return true;
    }

    static bool MatrixSetMultiply(CNativeState* pState, int, void*)
    {
        CMatrix4x4* pThis;
        return GetThisMatrix(pState, pThis) && MultiplyArguments(pState, CMatrix4x4::Identity(), pThis);
    }

    static bool MatrixMultiply(CNativeState* pState, int, void*)
    {
        CMatrix4x4* pThis;
        return GetThisMatrix(pState, pThis) && MultiplyArguments(pState, *pThis, pThis);
    }

    // A singular matrix has no inverse and stays as it is.
    static bool MatrixSetInverse(CNativeState* pState, int, void*)
    {
        CMatrix4x4* pThis;
        if (!GetThisMatrix(pState, pThis))
            return false;
        pThis->Invert();
        return true;
    }

    static bool MatrixTransformCoordinate(CNativeState* pState, int, void*)
    {
        CMatrix4x4* pThis;
        CVector3D v;
        if (!GetThisMatrix(pState, pThis) || !pState->CheckVector3D(0, v))
            return false;
        pState->m_RVal.AddVector3D(pThis->TransformCoordinate(v));
        return true;
    }

    // Indexes are read as unsigned 64-bit numbers, so a negative one is out of range rather
    // than below it, and no large one wraps back into range.
    static bool CheckIndex(CNativeState* pState, int i, uint32_t uiLast, uint32_t& uiIndex)
    {
        uint64_t uiValue;
        if (!pState->CheckNumber(i, uiValue))
            return false;
        if (uiValue > uiLast)
            return pState->Error("invalid index");
        uiIndex = static_cast<uint32_t>(uiValue);
        return true;
    }

    static bool MatrixGetElementAt(CNativeState* pState, int, void*)
    {
        CMatrix4x4* pThis;
        uint32_t uiIndex = 0;
        if (!GetThisMatrix(pState, pThis) || !CheckIndex(pState, 0, 15, uiIndex))
            return false;
        pState->m_RVal.AddNumber(pThis->m[uiIndex]);
        return true;
    }

    static bool MatrixSetElementAt(CNativeState* pState, int, void*)
    {
        CMatrix4x4* pThis;
        uint32_t uiIndex = 0;
        float fValue;
        if (!GetThisMatrix(pState, pThis) || !CheckIndex(pState, 0, 15, uiIndex) || !pState->CheckNumber(1, fValue))
            return false;
        pThis->m[uiIndex] = fValue;
        return true;
    }

    static bool MatrixGetVector3(CNativeState* pState, int, void*)
    {
        CMatrix4x4* pThis;
        uint32_t uiRow = 0;
        if (!GetThisMatrix(pState, pThis) || !CheckIndex(pState, 0, 3, uiRow))
            return false;
        pState->m_RVal.AddVector3D(pThis->GetRow3(uiRow));
        return true;
    }

    static void RegisterMatrixClass(ReflectedNamespace* pGlobal)
    {
        ReflectedClass* pClass = pGlobal->NewClass("Matrix4x4");
        pClass->RegisterConstructor("t", MatrixConstruct);
        for (intptr_t i = 0; i < 16; ++i) {
            char szName[4] = {'m', static_cast<char>('1' + i / 4), static_cast<char>('1' + i % 4), '\0'};
            pClass->AddProperty(reinterpret_cast<void*>(i), szName, ARGUMENT_FLOAT, MatrixGetElement, MatrixSetElement);
        }
        pClass->RegisterFunction("setIdentity", "t", MatrixSetIdentity);
        pClass->RegisterFunction("setTranslate", "tv", MatrixSetFromVector<CMatrix4x4::Translation>);
        pClass->RegisterFunction("setScale", "tv", MatrixSetFromVector<CMatrix4x4::Scale>);
        pClass->RegisterFunction("setRotateX", "tf", MatrixSetFromAngle<CMatrix4x4::RotationX>);
        pClass->RegisterFunction("setRotateY", "tf", MatrixSetFromAngle<CMatrix4x4::RotationY>);
        pClass->RegisterFunction("setRotateZ", "tf", MatrixSetFromAngle<CMatrix4x4::RotationZ>);
        pClass->RegisterFunction("setRotate", "tv", MatrixSetFromVector<CMatrix4x4::Rotation>);
        pClass->RegisterFunction("setMultiply", "txx*", MatrixSetMultiply);
        pClass->RegisterFunction("multiply", "tx*", MatrixMultiply);
        pClass->RegisterFunction("setInverse", "t", MatrixSetInverse);
        pClass->RegisterFunction("transformCoordinate", "tv", MatrixTransformCoordinate);
        pClass->RegisterFunction("getElement", "ti", MatrixGetElementAt);
        pClass->RegisterFunction("setElement", "tif", MatrixSetElementAt);
        pClass->RegisterFunction("getVector3", "ti", MatrixGetVector3);
    }

    // --- Global helpers -------------------------------------------------------------------

    static bool FunctionToColour(CNativeState* pState, int iArgumentCount, void*)
    {
        uint8_t r, g, b, a = 255;
        if (!pState->CheckNumber(0, r) || !pState->CheckNumber(1, g) || !pState->CheckNumber(2, b))
            return false;
        if (iArgumentCount > 3 && !pState->CheckNumber(3, a))
            return false;
        uint32_t uiColour = (uint32_t(a) << 24) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
        pState->m_RVal.AddNumber(static_cast<int32_t>(uiColour));
        return true;
    }

    static constexpr int MAX_POLYGON_POINTS = 128;

    // Even-odd rule with a vertical ray from the point.
    static bool FunctionInPoly(CNativeState* pState, int iArgumentCount, void*)
    {
        CVector2D point;
        if (!pState->CheckVector2D(0, point))
            return false;
        int n = std::max(iArgumentCount - 1, 0);
        if (n > MAX_POLYGON_POINTS)
            return pState->Error("Too many points");
        CVector2D rgVertices[MAX_POLYGON_POINTS];
        for (int i = 0; i < n; ++i) {
            if (!pState->CheckVector2D(i + 1, rgVertices[i]))
                return false;
        }
        int iCrossings = 0;
        for (int j = 0; j < n; ++j) {
            const CVector2D& a = rgVertices[j];
            const CVector2D& b = rgVertices[(j + 1) % n];
            if (std::min(a.x, b.x) < point.x && point.x <= std::max(a.x, b.x) && (point.y < a.y || point.y <= b.y)) {
                double dSlope = std::fabs(b.x - a.x) < 0.000001 ? 4294967296.0 : (double(b.y) - a.y) / (double(b.x) - a.x);
                if (point.y <= a.y - a.x * dSlope + dSlope * point.x)
                    ++iCrossings;
            }
        }
        pState->m_RVal.AddBoolean(iCrossings % 2 == 1);
        return true;
    }

    void RegisterMathNatives(CScripting* pScripting)
    {
        ReflectedNamespace* pGlobal = &pScripting->m_Global;
        RegisterMatrixClass(pGlobal);
        RegisterVectorClasses(pGlobal);
        pGlobal->RegisterFunction("toColour", "iii|i", FunctionToColour);
        pGlobal->RegisterFunction("inPoly", "z*", FunctionInPoly);
    }
}
