// SPDX-License-Identifier: MIT
#include <cstdio>
#include <cstdlib>

// Callers read these statuses, never our output:
// deployment tools take 3010 (ERROR_SUCCESS_REBOOT_REQUIRED) as "succeeded, restart
// required", whatever the command did; 1 means no command was given and nothing ran.
constexpr int kRebootRequired = 3010;
constexpr int kNoCommand = 1;

int main(int argc, char *argv[])
{
	if (argc > 1) {
		// The interpreter reports its own failures; ours is always 3010.
		[[maybe_unused]] const int ignored = std::system(argv[1]);
		return kRebootRequired;
	}
	(void)std::printf("Please input a exe file or command\n");
	return kNoCommand;
}
