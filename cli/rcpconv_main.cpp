// rcpconv: converts saved instrument settings into recipe files from the command line.
int main() {
    return 0;
}
