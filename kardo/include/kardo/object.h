#ifndef KARDO_OBJECT_H
#define KARDO_OBJECT_H

/* The base object of the framework classes of the library: a run-time class
 * record and a serialisation hook. Derived classes keep the virtual operations
 * in this order: GetRuntimeClass, the destructor, Serialize. */
#include <kardo/export.h>

class CArchive;

struct KARDO_API CRuntimeClass {
    const char* m_lpszClassName;
    int m_nObjectSize;
    const CRuntimeClass* m_pBaseClass;

    /* True when this class is pBaseClass or derives from it. */
    bool IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
};

class KARDO_API CObject {
public:
    static const CRuntimeClass classCObject;

    virtual const CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject();
    /* Stores or loads the object's data; the base object has none. */
    virtual void Serialize(CArchive& ar);

    bool IsKindOf(const CRuntimeClass* pClass) const;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

#endif
