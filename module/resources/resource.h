// Resource identifiers of Kestrum.ocx.
#pragma once

#define IDS_KESTRUM     1   // "Kestrum Control"
#define IDB_KESTRUM     1   // toolbox bitmap
