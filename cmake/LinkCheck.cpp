// An empty program: linking a library's every object into it proves that the
// library needs nothing beyond the libraries it declares.
int main()
{
    return 0;
}
