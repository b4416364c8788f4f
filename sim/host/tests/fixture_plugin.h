// Resource ids of the host's test plugin.
#pragma once

#define FIXTURE_PROGRESS_DIALOG 102
#define FIXTURE_PROGRESS_BAR    1000
#define FIXTURE_PATH_TEXT       1001
#define FIXTURE_COUNTER_TEXT    1002
#define FIXTURE_CANCEL          1003
