// The stand-in host: a small program of its own that offers the plug-in the
// host services it expects, keeps the tables, settings and files those
// services work on, and writes everything the user would see into a
// transcript. It is driven by session scripts (session.cpp).
//
// What it holds is in parts with one purpose each, and each file reaches
// the parts it uses:
//   plan.h        what the script plans for the calls to come: answers, form
//                 edits and keys, faults, raises and how they end, threads'
//                 and the message loop's calls, behaviours; the call counts
//   world.h       the host's world: tables, year, date, information block,
//                 interface version, settings file (config_store.h); the
//                 files are the file store's (file_store.h)
//   neighbours.h  the plug-in module and the modules and threads around it;
//                 how each call into the plug-in is made: calling_in.h
//   audit.h       what the host records of a command to check it afterwards
//   transcript.h  what the user sees, and the person at the terminal
// A fuzzing run differs by two switches, each where it acts: the
// transcript's quiet (nothing said or drawn) and the file store's files in
// memory (keep_files_in_memory, which a timing uses too).
//
// This header gathers the parts for the programs that drive the host from
// outside (tests, fuzz programs, timings); the host's own files include
// only the parts they use.
#pragma once

#include "host/audit.h"
#include "host/calling_in.h"
#include "host/forms.h"
#include "host/host_platform.h"
#include "host/neighbours.h"
#include "host/plan.h"
#include "host/report_view.h"
#include "host/texts.h"
#include "host/transcript.h"
#include "host/world.h"
