/* The baseline of the start-up measurement: a Windows program that only returns. */
int main(void)
{
    return 0;
}
