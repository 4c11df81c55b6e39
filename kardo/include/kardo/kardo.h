#ifndef KARDO_KARDO_H
#define KARDO_KARDO_H

/* The whole interface of libkardo. */
#include <kardo/export.h>
#include <kardo/com_entry.h>
#include <kardo/object.h>
#include <kardo/exception.h>
#include <kardo/archive.h>
#include <kardo/registry_store.h>
#include <kardo/registry.h>

#endif
