#ifndef KARDO_KARDO_H
#define KARDO_KARDO_H

/* The whole interface of libkardo. */
#include <kardo/export.h>
#include <kardo/com_entry.h>
#include <kardo/message_box.h>
#include <kardo/window_messages.h>
#include <kardo/card_messages.h>
#include <kardo/card_records.h>
#include <kardo/callcard.h>
#include <kardo/g81.h>
#include <kardo/cherry.h>
#include <kardo/lbe.h>
#include <kardo/pki.h>
#include <kardo/card.h>
#include <kardo/number_fields.h>
#include <kardo/day_numbers.h>
#include <kardo/directories.h>
#include <kardo/folder_chooser.h>
#include <kardo/folder_dialog.h>
#include <kardo/tea.h>
#include <kardo/des.h>
#include <kardo/object.h>
#include <kardo/exception.h>
#include <kardo/archive.h>
#include <kardo/registry_store.h>
#include <kardo/registry.h>

#endif
