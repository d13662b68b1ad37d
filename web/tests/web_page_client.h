// Requests to the real pages of the test server, and the application core
// they need: loggers, a flash file with the NVRAM store, the settings items
// the pages save and the management interface.
#pragma once

#include <string>

#include "web_test_support.h"

// Once per process; keeps a flash file that another test opened already.
void page_env_once();

test_response page_get(const std::string &path_and_query);
test_response page_post(const std::string &path, const std::string &form);
// A multipart upload of one file; the raw answer ("" when the server closed).
std::string page_upload_raw(const std::string &path, const std::string &file);
test_response page_upload(const std::string &path, const std::string &file);
std::string page_upload_request(const std::string &path, const std::string &file);
