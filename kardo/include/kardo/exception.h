#ifndef KARDO_EXCEPTION_H
#define KARDO_EXCEPTION_H

/* The framework exceptions the library raises. They are thrown by value and
 * derive from std::exception as well, so callers may catch either. */
#include <kardo/export.h>
#include <kardo/object.h>

#include <exception>

class KARDO_API CException : public CObject, public std::exception {
public:
    static const CRuntimeClass classCException;
    const CRuntimeClass* GetRuntimeClass() const override;
    const char* what() const noexcept override;
};

/* An argument or a stored record outside what an operation accepts, such as a
 * rectangle record with fewer than four elements. */
class KARDO_API CInvalidArgException : public CException {
public:
    static const CRuntimeClass classCInvalidArgException;
    const CRuntimeClass* GetRuntimeClass() const override;
    const char* what() const noexcept override;
};

/* Archive data that cannot be loaded: it ends early or holds a form the
 * archive does not know. */
class KARDO_API CArchiveException : public CException {
public:
    enum {
        none,
        genericException,
        readOnly,
        endOfFile,
        writeOnly,
        badIndex,
        badClass,
        badSchema
    };

    static const CRuntimeClass classCArchiveException;
    explicit CArchiveException(int cause = none);
    const CRuntimeClass* GetRuntimeClass() const override;
    const char* what() const noexcept override;

    int m_cause;
};

#endif
