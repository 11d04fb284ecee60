export default class MintluxExtension extends Extension {
    enable() {
        this._title = new MintluxTitle();
        this._title.enable();
    }

    disable() {
        this._title.disable();
        this._title = null;
    }
}
