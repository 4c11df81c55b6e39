#include <kardo/exception.h>

const CRuntimeClass CException::classCException = {"CException", sizeof(CException),
                                                   &CObject::classCObject};
const CRuntimeClass CInvalidArgException::classCInvalidArgException = {
    "CInvalidArgException", sizeof(CInvalidArgException), &CException::classCException};
const CRuntimeClass CArchiveException::classCArchiveException = {
    "CArchiveException", sizeof(CArchiveException), &CException::classCException};

const CRuntimeClass* CException::GetRuntimeClass() const { return &classCException; }
const char* CException::what() const noexcept { return "CException"; }

const CRuntimeClass* CInvalidArgException::GetRuntimeClass() const {
    return &classCInvalidArgException;
}
const char* CInvalidArgException::what() const noexcept { return "Invalid argument"; }

CArchiveException::CArchiveException(int cause) : m_cause(cause) {}

const CRuntimeClass* CArchiveException::GetRuntimeClass() const {
    return &classCArchiveException;
}

const char* CArchiveException::what() const noexcept {
    switch (m_cause) {
    case endOfFile:
        return "Archive data ends before the object it holds";
    case badIndex:
        return "Archive data holds a count or length that does not fit";
    case readOnly:
        return "Archive is loading and can not store";
    case writeOnly:
        return "Archive is storing and can not load";
    case badSchema:
        return "Archive data holds a form this archive does not read";
    default:
        return "Archive data can not be loaded";
    }
}
