#ifndef RESOURCELIMIT_H
#define RESOURCELIMIT_H

#include <csignal>
#include <sys/resource.h>

// While it lives, this process may not go past `bytes` of `resource`. With RLIMIT_FSIZE
// writes beyond fail as on a full disk (the kernel's signal is ignored).
class ResourceLimit
{
public:
    ResourceLimit(int resource, rlim_t bytes) : resource(resource)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(resource, &saved);
        rlimit small = saved;
        small.rlim_cur = bytes < saved.rlim_max ? bytes : saved.rlim_max;
        setrlimit(resource, &small);
    }
    ~ResourceLimit() { setrlimit(resource, &saved); }
    ResourceLimit(const ResourceLimit &) = delete;
    ResourceLimit &operator=(const ResourceLimit &) = delete;

private:
    int resource;
    rlimit saved{};
};

#endif // RESOURCELIMIT_H
