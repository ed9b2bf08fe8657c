// Files that reach the list without the open dialog: given on the command
// line or dropped on the list. The walk of a folder is the jobs layer's
// (jobs/folder_scan.h), shared with fennick-convert.
#pragma once

#include "jobs/folder_scan.h"
