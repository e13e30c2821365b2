#pragma once

// Built-in addresses of the operator's services. They are deployment values: the environment variable
// TAVICAST_SERVICE_URL (scheme://host:port) replaces scheme, host and port of each and keeps the path.
