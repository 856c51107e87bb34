// Work in progress.
#pragma once
