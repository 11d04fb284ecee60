function init() {
    return new MintluxTitle();
}
